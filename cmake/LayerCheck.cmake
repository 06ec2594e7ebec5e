# Holds the folders to their directions, by their #include lines:
#
#   decoder/   its own headers only;
#   pipeline/  the decoder's public header (decoder/decoder.h, which brings
#              the message sink) and its numeric helpers, and its own;
#   host/      the effect's shell: no more of the decoder than the pipeline
#              may see, the pipeline, its own, and the host's SDK headers;
#   hostsim/   the simulated host: its own and the SDK headers only;
#   describe/  its own, and of the pipeline only the parameter table
#              (pipeline/parameter_table.h), which it uses header-only: the
#              table is plain constants, and describe/ links none of the
#              pipeline's code;
#   resources/ the registration data only (host/registration.h), plain
#              constants the PiPL generator reads header-only, linking
#              none of the effect;
#   cli/, frei0r/, mlt/
#              their own and what they link: the folders of the libraries
#              their target links, and of what those link in turn. The
#              layering test works the folders out from the build's
#              target_link_libraries (cmake/LinkedFolders.cmake) and passes
#              them as -DLINKED_<folder>=a|b|c; a folder the build has no
#              target for (frei0r/ without frei0r.h, say) is passed over;
#   fuzz/      never tests/, and tests/ never fuzz/.
#
# The SDK headers are those of sdk/, by name (the host's own SDK, when the
# build uses it, has the same names). Every sub-folder is checked with its
# folder. The separate libraries make the linker refuse calls against the
# direction; this catches what a header alone would let through.
#
#   cmake -DSOURCE_DIR=<project root> [-DLINKED_cli=pipeline|hostsim|...] -P cmake/LayerCheck.cmake

file(GLOB sdk_headers RELATIVE "${SOURCE_DIR}/sdk" "${SOURCE_DIR}/sdk/*.h")
list(TRANSFORM sdk_headers REPLACE "\\." "\\\\.")
list(JOIN sdk_headers "|" sdk_names)

set(decoder_public "decoder/decoder\\.h|decoder/numeric\\.h")
set(allowed_decoder "^decoder/")
set(allowed_pipeline "^(${decoder_public}|pipeline/.*)$")
set(allowed_host "^(${decoder_public}|pipeline/.*|host/.*|${sdk_names})$")
set(allowed_hostsim "^(hostsim/.*|${sdk_names})$")
set(allowed_describe "^(describe/.*|pipeline/parameter_table\\.h)$")
set(allowed_resources "^host/registration\\.h$")
set(checked decoder pipeline host hostsim describe resources)

# The folders that may include what they link; mlt/ is checked like
# frei0r/ once the build has its filter.
foreach(folder IN ITEMS cli frei0r mlt)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${folder}")
    continue()
  endif()
  if(NOT DEFINED LINKED_${folder})
    message(STATUS "${folder}/ has no target in this build; its includes are not checked")
    continue()
  endif()
  string(REPLACE "|" ";" linked "${folder}|${LINKED_${folder}}")
  list(REMOVE_DUPLICATES linked)
  set(patterns)
  foreach(linked_folder IN LISTS linked)
    list(APPEND patterns "${linked_folder}/.*")
    if(linked_folder STREQUAL "sdk")
      list(APPEND patterns "${sdk_names}")
    endif()
  endforeach()
  list(JOIN patterns "|" patterns)
  set(allowed_${folder} "^(${patterns})$")
  list(APPEND checked ${folder})
endforeach()

set(failures "")
foreach(layer IN LISTS checked)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      if(NOT included MATCHES "${allowed_${layer}}")
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(APPEND failures "  ${name} includes ${included}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

# The fuzz harnesses and the tests keep apart: neither includes a file of
# the other, by its path or by a name that is found only in the other's
# folder (tests/ puts its own folder on the include path).
foreach(pair IN ITEMS "fuzz;tests" "tests;fuzz")
  list(GET pair 0 layer)
  list(GET pair 1 other)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      get_filename_component(beside "${source}" DIRECTORY)
      if(included MATCHES "^${other}/" OR
         (EXISTS "${SOURCE_DIR}/${other}/${included}" AND NOT EXISTS "${beside}/${included}" AND
          NOT EXISTS "${SOURCE_DIR}/${included}"))
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(APPEND failures "  ${name} includes ${included}, a file of ${other}/\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "includes against the layers' direction:\n${failures}")
endif()
message(STATUS "every include follows the layers")
