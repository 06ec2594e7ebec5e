# The copyright statement shipped with every delivery (the Debian package's
# copyright file, LICENSES.txt in the Windows installer and zip): ours, then
# that of the libjpeg-turbo linked into every binary, taken from Debian's
# package of the same source, whose version the static build follows.
set(shardcast_jpeg_copyright /usr/share/doc/libturbojpeg0/copyright)
if(NOT EXISTS "${shardcast_jpeg_copyright}")
  message(FATAL_ERROR "${shardcast_jpeg_copyright} not found (Debian package libturbojpeg0)")
endif()
file(READ "${shardcast_jpeg_copyright}" LIBJPEG_TURBO_COPYRIGHT)
execute_process(COMMAND dpkg-query -W "-f=\${Version}" libturbojpeg0
                OUTPUT_VARIABLE LIBJPEG_TURBO_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
set(SHARDCAST_COPYRIGHT_FILE "${CMAKE_BINARY_DIR}/packaging/copyright")
configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in" "${SHARDCAST_COPYRIGHT_FILE}" @ONLY)
