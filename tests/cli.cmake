# The command-line renderer's end-to-end tests run the built executable and
# compare with the module driven in-process through the simulated host; they
# also use the tool's picture files and sample frame directly.
if(TARGET cli_test AND TARGET shardcast)
  target_sources(cli_test PRIVATE
    ${PROJECT_SOURCE_DIR}/cli/image_files.cpp
    ${PROJECT_SOURCE_DIR}/cli/picture_limits.cpp
    ${PROJECT_SOURCE_DIR}/cli/sample_frame.cpp)
  target_link_libraries(cli_test PRIVATE shardcast_hostsim shardcast_sdk PNG::PNG PkgConfig::TURBOJPEG)
  target_compile_definitions(cli_test PRIVATE
    SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
    SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>"
    SHARDCAST_VERSION="${PROJECT_VERSION}")
  add_dependencies(cli_test shardcast shardcast_effect)
endif()
