# The host-interface tests and the simulated host's tests need our headers
# (and the latter the simulated host library).
target_link_libraries(sdk_layout_test PRIVATE shardcast_sdk)
target_include_directories(sdk_layout_test PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
