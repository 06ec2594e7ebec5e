# The tool's promises about the files it writes, its lines on standard
# error and its worker processes: tests that run the built tool and also
# use its parts.
foreach(test IN ITEMS output_safety_test tool_lines_test render_workers_test)
  if(TARGET ${test} AND TARGET shardcast)
    target_link_libraries(${test} PRIVATE shardcast_cli_parts)
    target_compile_definitions(${test} PRIVATE SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>")
    add_dependencies(${test} shardcast shardcast_effect)
  endif()
endforeach()
