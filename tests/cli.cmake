# The command-line renderer's end-to-end tests run the built executable and
# compare with the module driven in-process through the simulated host; they
# also use the tool's picture files and sample frame directly.
if(TARGET cli_test AND TARGET shardcast)
  target_link_libraries(cli_test PRIVATE shardcast_cli_parts)
  target_compile_definitions(cli_test PRIVATE
    SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
    SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>"
    SHARDCAST_INSTALLED_MODULE_DIR="${SHARDCAST_INSTALL_MODULE_DIR_FROM_BIN}"
    SHARDCAST_VERSION="${PROJECT_VERSION}")
  add_dependencies(cli_test shardcast shardcast_effect)
endif()
