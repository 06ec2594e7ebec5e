# The failing-allocator test replaces the global operator new and delete, so
# the effect must live in the same program: it is linked in (the module's
# shared library is not loaded) and driven through the simulated host's
# in-process constructor. Its decoder lines go where the module's go.
target_sources(failing_allocator_test PRIVATE ${PROJECT_SOURCE_DIR}/host/module_messages.cpp)
target_link_libraries(failing_allocator_test PRIVATE shardcast_host shardcast_hostsim)
