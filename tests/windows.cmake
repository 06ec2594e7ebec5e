# The checks of the Windows build (tests/windows_module_test.cpp) and the
# Wine run that compares it with this build. Both look for the Windows build
# in build/windows-release (or SHARDCAST_WINDOWS_BUILD_DIR at run time) and
# skip when it is not there, so a plain Linux run does not depend on it.
find_program(SHARDCAST_MINGW_OBJDUMP_PROGRAM x86_64-w64-mingw32-objdump)
find_program(SHARDCAST_WRESTOOL_PROGRAM wrestool)
set(shardcast_windows_build_dir "${PROJECT_SOURCE_DIR}/build/windows-release")

target_compile_definitions(windows_module_test PRIVATE
  SHARDCAST_WINDOWS_BUILD_DIR="${shardcast_windows_build_dir}"
  SHARDCAST_MINGW_OBJDUMP="$<IF:$<BOOL:${SHARDCAST_MINGW_OBJDUMP_PROGRAM}>,${SHARDCAST_MINGW_OBJDUMP_PROGRAM},x86_64-w64-mingw32-objdump>"
  SHARDCAST_WRESTOOL="$<IF:$<BOOL:${SHARDCAST_WRESTOOL_PROGRAM}>,${SHARDCAST_WRESTOOL_PROGRAM},wrestool>"
  SHARDCAST_LINUX_PIPL_FILE="$<TARGET_PROPERTY:shardcast_pipl,PIPL_FILE>")
add_dependencies(windows_module_test shardcast_pipl)

# The Wine run: the driver built for Linux writes what the module answers
# here, the Windows build of the same driver does so under Wine, and
# windows_wine_run compares the two (one CTest test, so the Wine prefix is
# made once). Not repeated in sanitizer builds: it compares builds, not code.
if(TARGET shardcast_hostsim AND TARGET shardcast AND NOT SHARDCAST_SANITIZE)
  find_program(SHARDCAST_WINE_PROGRAM wine64 PATHS /usr/lib/wine)
  find_program(SHARDCAST_WINESERVER_PROGRAM wineserver PATHS /usr/lib/wine)

  add_executable(shardcast_linux_driver windows_driver.cpp)
  target_include_directories(shardcast_linux_driver PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(shardcast_linux_driver PRIVATE shardcast_hostsim shardcast_sdk shardcast_pipeline)
  add_dependencies(shardcast_linux_driver shardcast_effect)

  add_executable(windows_wine_run windows_wine_run.cpp)
  target_link_libraries(windows_wine_run PRIVATE shardcast_flags GTest::gtest GTest::gtest_main)
  target_compile_definitions(windows_wine_run PRIVATE
    SHARDCAST_WINDOWS_BUILD_DIR="${shardcast_windows_build_dir}"
    SHARDCAST_WINE_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/windows-wine-run"
    SHARDCAST_WINE="$<IF:$<BOOL:${SHARDCAST_WINE_PROGRAM}>,${SHARDCAST_WINE_PROGRAM},wine64>"
    SHARDCAST_WINESERVER="$<IF:$<BOOL:${SHARDCAST_WINESERVER_PROGRAM}>,${SHARDCAST_WINESERVER_PROGRAM},wineserver>"
    SHARDCAST_LINUX_DRIVER="$<TARGET_FILE:shardcast_linux_driver>"
    SHARDCAST_LINUX_MODULE="$<TARGET_FILE:shardcast_effect>"
    SHARDCAST_LINUX_CLI="$<TARGET_FILE:shardcast>")
  add_dependencies(windows_wine_run shardcast_linux_driver shardcast_effect shardcast)
  add_test(NAME windows_wine_run COMMAND windows_wine_run)
  set_tests_properties(windows_wine_run PROPERTIES TIMEOUT 900
    SKIP_REGULAR_EXPRESSION "no Windows build with the test driver")
endif()
