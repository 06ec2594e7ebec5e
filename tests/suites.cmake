# The suite holders are unit-tested on their own, from the effect's library.
target_link_libraries(suites_test PRIVATE shardcast_host)
