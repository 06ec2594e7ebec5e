# Holds the layers to one direction, by their #include lines: the decoder
# includes only its own headers; the pipeline only the decoder's public
# header (decoder/decoder.h, which brings the message sink) and its numeric
# helpers, and its own; the effect's shell (host/) nothing of the tools or
# the simulated host, and of the decoder no more than the pipeline may.
# The separate libraries make the linker refuse calls against the direction;
# this catches what a header alone would let through.
#
#   cmake -DSOURCE_DIR=<project root> -P cmake/LayerCheck.cmake

set(decoder_public "decoder/decoder\\.h|decoder/numeric\\.h")
set(allowed_decoder "^decoder/")
set(allowed_pipeline "^(${decoder_public}|pipeline/)")
set(allowed_host "^(${decoder_public}|pipeline/|host/|[A-Za-z_]+\\.h$)")  # SDK headers have no folder

set(failures "")
foreach(layer IN ITEMS decoder pipeline host)
  file(GLOB sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
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

if(failures)
  message(FATAL_ERROR "includes against the layers' direction:\n${failures}")
endif()
message(STATUS "every include follows the layers")
