# --settings and `params --save` through the built tool; the looks'
# pictures in docs/ are compared with what the tool makes of them.
if(TARGET settings_command_test AND TARGET shardcast)
  target_compile_definitions(settings_command_test PRIVATE
    SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
    SHARDCAST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(settings_command_test shardcast)
endif()
