# The failing-allocator test replaces the global operator new and delete, so
# the effect must live in the same program: its sources are compiled in
# (the module's shared library is not linked) and driven through the
# simulated host's in-process constructor.
target_sources(failing_allocator_test PRIVATE ${SHARDCAST_EFFECT_SOURCES})
target_include_directories(failing_allocator_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(failing_allocator_test PRIVATE shardcast_hostsim shardcast_sdk)
