# Runs the build machine's copy of a build-time tool in place of its Windows
# build: cmake -DSHARDCAST_TOOL=<tool> -P WindowsRunOnBuildMachine.cmake
# <windows program> <arguments...>. The Windows program is skipped, the
# arguments are passed on, and the tool's exit status becomes this one's.

set(arguments "")
set(seen_script FALSE)
set(skipped_program FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE 1 ${last})
  set(argument "${CMAKE_ARGV${index}}")
  if(NOT seen_script)
    if(argument STREQUAL CMAKE_SCRIPT_MODE_FILE OR argument STREQUAL CMAKE_CURRENT_LIST_FILE)
      set(seen_script TRUE)
    endif()
  elseif(NOT skipped_program)
    set(skipped_program TRUE)
  else()
    list(APPEND arguments "${argument}")
  endif()
endforeach()

execute_process(COMMAND "${SHARDCAST_TOOL}" ${arguments} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${SHARDCAST_TOOL} failed: ${result}")
endif()
