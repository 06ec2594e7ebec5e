# The command-line renderer's end-to-end tests run the built executable and
# compare with the module driven in-process through the simulated host; they
# also use the tool's picture files and sample frame directly, as do the
# picture files' own tests, which share their helpers.
foreach(test IN ITEMS cli_decode_test cli_render_test cli_messages_test image_files_test)
  if(TARGET ${test} AND TARGET shardcast)
    target_link_libraries(${test} PRIVATE shardcast_cli_parts)
    target_compile_definitions(${test} PRIVATE
      SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
      SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>"
      SHARDCAST_INSTALLED_MODULE_DIR="${SHARDCAST_INSTALL_MODULE_DIR_FROM_BIN}"
      SHARDCAST_VERSION="${PROJECT_VERSION}")
    add_dependencies(${test} shardcast shardcast_effect)
  endif()
endforeach()
