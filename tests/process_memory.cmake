# The allocator setup is a part of the tool's library.
if(TARGET process_memory_test AND TARGET shardcast_cli_parts)
  target_link_libraries(process_memory_test PRIVATE shardcast_cli_parts)
endif()
