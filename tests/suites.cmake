# The suite holders are unit-tested on their own, compiled into the test.
target_sources(suites_test PRIVATE ${PROJECT_SOURCE_DIR}/host/suites.cpp)
target_include_directories(suites_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(suites_test PRIVATE shardcast_sdk)
