# The fault sweep drives the built module through the simulated host, like
# the module_* tests.
target_compile_definitions(fault_sweep_test PRIVATE SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>")
target_include_directories(fault_sweep_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(fault_sweep_test PRIVATE shardcast_hostsim shardcast_sdk)
add_dependencies(fault_sweep_test shardcast_effect)
