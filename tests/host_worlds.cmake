# The simulated host's worlds across frames, driven by a module compiled
# into the test.
if(TARGET host_worlds_test)
  target_link_libraries(host_worlds_test PRIVATE shardcast_hostsim)
endif()
