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
