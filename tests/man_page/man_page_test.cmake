# The man page as man shows it on an 80-column terminal: no line wider,
# and an EXAMPLES section.
#   cmake -DPAGE=<shardcast.1> -P man_page_test.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C MANWIDTH=80 man -l "${PAGE}"
                OUTPUT_VARIABLE shown RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR shown STREQUAL "")
  message(FATAL_ERROR "man -l ${PAGE} failed: ${result}")
endif()
# Semicolons, backslashes and square brackets would upset the list of
# lines; each is one column like its stand-in.
string(REPLACE ";" "," shown "${shown}")
string(REPLACE "\\" "/" shown "${shown}")
string(REPLACE "[" "(" shown "${shown}")
string(REPLACE "]" ")" shown "${shown}")
string(REPLACE "\n" ";" lines "${shown}")
set(wide 0)
foreach(line IN LISTS lines)
  string(LENGTH "${line}" length)
  if(length GREATER 80)
    math(EXPR wide "${wide} + 1")
    message(STATUS "${length} columns: ${line}")
  endif()
endforeach()
if(wide GREATER 0)
  message(FATAL_ERROR "${wide} lines of the man page are wider than 80 columns")
endif()
if(NOT shown MATCHES "\nEXAMPLES\n" OR NOT shown MATCHES "shardcast render clip.mp4 -o glitched.mp4")
  message(FATAL_ERROR "the man page has no EXAMPLES section")
endif()
