# Unit tests of the command-line renderer's parts (frame patterns, keyed
# values, frame timing, video files, the module search) link the tool's own
# library. The video, limit, clip-part and footage tests run Debian's
# ffmpeg and ffprobe to make and inspect clips, and the tool itself.
foreach(test IN ITEMS frame_sequence_test animated_values_test video_test clip_limits_test module_search_test
                      settings_file_test)
  if(TARGET ${test} AND TARGET shardcast_cli_parts)
    target_link_libraries(${test} PRIVATE shardcast_cli_parts)
  endif()
endforeach()
foreach(test IN ITEMS video_test clip_limits_test clip_parts_test footage_test)
  if(TARGET ${test} AND TARGET shardcast)
    target_compile_definitions(${test} PRIVATE SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>")
    add_dependencies(${test} shardcast)
  endif()
endforeach()
if(TARGET video_test AND TARGET PkgConfig::FFMPEG)
  target_link_libraries(video_test PRIVATE PkgConfig::FFMPEG)
endif()
