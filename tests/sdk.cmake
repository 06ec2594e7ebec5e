# The host-interface tests need our headers; the simulated host's tests also
# need the simulated host library.
target_link_libraries(sdk_layout_test PRIVATE shardcast_sdk shardcast_version)
target_include_directories(sdk_layout_test PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
target_link_libraries(simulated_host_test PRIVATE shardcast_hostsim)
target_link_libraries(host_commands_test PRIVATE shardcast_hostsim)
