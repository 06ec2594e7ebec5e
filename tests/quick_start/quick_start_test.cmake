# The quick start builds what it runs and nothing else: scripts/demo.sh
# builds the shardcast_programs target, and building that compiles no test,
# benchmark or fuzz harness, but does compile the tool, the module and the
# filters.
#   cmake -DNINJA=<ninja> -DBUILD_DIR=<build folder> -DDEMO=<demo.sh> -P quick_start_test.cmake
file(READ "${DEMO}" demo)
if(NOT demo MATCHES "cmake --build --preset default[^\n]* --target shardcast_programs")
  message(FATAL_ERROR "${DEMO} does not build the shardcast_programs target alone")
endif()
execute_process(COMMAND "${NINJA}" -C "${BUILD_DIR}" -t commands shardcast_programs OUTPUT_VARIABLE commands
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ninja -t commands shardcast_programs failed: ${result}")
endif()
foreach(unwanted IN ITEMS "/tests/" "/bench/" "/fuzz/" "gtest" "benchmark")
  string(FIND "${commands}" "${unwanted}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "building shardcast_programs runs a command with ${unwanted} in it")
  endif()
endforeach()
foreach(wanted IN ITEMS "cli/main.cpp" "host/" "frei0r/")
  string(FIND "${commands}" "${wanted}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "building shardcast_programs compiles nothing of ${wanted}")
  endif()
endforeach()
