# The layering check's rules on a small tree of its own: a tree that keeps
# them passes, and each kind of include against them fails, naming the file.
#
#   cmake -DCHECK=<cmake/LayerCheck.cmake> -DWORK=<scratch folder> -P layer_check_test.cmake

set(tree "${WORK}/tree")
file(REMOVE_RECURSE "${tree}")
foreach(header IN ITEMS sdk/AE_Effect.h sdk/SPBasic.h decoder/decoder.h decoder/entropy.h pipeline/parameters.h
                        pipeline/parameter_table.h host/entry_points.h host/registration.h hostsim/simulated_host.h
                        describe/markup.h cli/pictures/image.h frei0r/effect_session.h tests/support/rules.h
                        fuzz/input.h)
  file(WRITE "${tree}/${header}" "#pragma once\n")
endforeach()

# Includes each folder may make.
file(WRITE "${tree}/decoder/entropy.cpp" "#include \"decoder/entropy.h\"\n")
file(WRITE "${tree}/pipeline/parameters.cpp" "#include \"decoder/decoder.h\"\n#include \"pipeline/parameters.h\"\n")
file(WRITE "${tree}/host/entry_points.cpp" "#include \"AE_Effect.h\"\n#include \"pipeline/parameters.h\"\n")
file(WRITE "${tree}/hostsim/simulated_host.cpp" "#include \"SPBasic.h\"\n#include \"hostsim/simulated_host.h\"\n")
file(WRITE "${tree}/cli/frames/source.cpp"
     "#include \"AE_Effect.h\"\n#include \"cli/pictures/image.h\"\n#include \"hostsim/simulated_host.h\"\n")
file(WRITE "${tree}/frei0r/plugin.cpp" "#include \"host/entry_points.h\"\n#include \"frei0r/effect_session.h\"\n")
file(WRITE "${tree}/mlt/filter.cpp" "#include \"frei0r/effect_session.h\"\n")
file(WRITE "${tree}/describe/markup.cpp" "#include \"describe/markup.h\"\n#include \"pipeline/parameter_table.h\"\n")
file(WRITE "${tree}/resources/pipl_generator.cpp" "#include \"host/registration.h\"\n")
file(WRITE "${tree}/fuzz/harness.cpp" "#include \"fuzz/input.h\"\n#include \"decoder/decoder.h\"\n")
file(WRITE "${tree}/tests/support/rules.cpp" "#include \"support/rules.h\"\n")

set(links "-DLINKED_cli=cli|pipeline|decoder|hostsim|sdk" "-DLINKED_frei0r=frei0r|host|pipeline|decoder|sdk"
          "-DLINKED_mlt=mlt|frei0r|host")

function(run_check outcome output)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${tree} ${links} -P "${CHECK}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${outcome} "${result}" PARENT_SCOPE)
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

run_check(result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a tree that keeps the rules failed:\n${output}")
endif()

# Each case: the file written, and what it includes.
set(cases
    "host/bad.cpp|Foo.h"  # a bare name that is no SDK header
    "pipeline/bad.cpp|decoder/entropy.h"  # the decoder beyond its public header
    "hostsim/bad.cpp|pipeline/parameters.h"
    "cli/frames/bad.cpp|host/entry_points.h"  # in a sub-folder, a library the tool does not link
    "frei0r/bad.cpp|cli/pictures/image.h"
    "mlt/bad.cpp|cli/pictures/image.h"
    "describe/bad.cpp|pipeline/parameters.h"  # the pipeline beyond its header-only table
    "resources/bad.cpp|host/entry_points.h"
    "fuzz/bad.cpp|support/rules.h"  # found only through the tests' include path
    "fuzz/bad.cpp|tests/support/rules.h"
    "tests/bad.cpp|fuzz/input.h")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 file)
  list(GET case 1 included)
  file(WRITE "${tree}/${file}" "#include \"${included}\"\n")
  run_check(result output)
  file(REMOVE "${tree}/${file}")
  if(result EQUAL 0 OR NOT output MATCHES "${file} includes ${included}")
    message(FATAL_ERROR "${file} including ${included} was not refused:\n${output}")
  endif()
endforeach()

# A folder whose target the build lacks is passed over, and says so.
list(REMOVE_ITEM links "-DLINKED_mlt=mlt|frei0r|host")
file(WRITE "${tree}/mlt/bad.cpp" "#include \"cli/pictures/image.h\"\n")
run_check(result output)
if(NOT result EQUAL 0 OR NOT output MATCHES "mlt/ has no target in this build")
  message(FATAL_ERROR "mlt/ without a target was not passed over:\n${output}")
endif()
message(STATUS "the layering rules hold")
