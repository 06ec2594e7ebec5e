# What `cmake --install` puts where (the folders are chosen in
# InstallLayout.cmake), the man page, and the Debian package that CPack makes
# of the same files (`cpack -G DEB` in a build folder; scripts/test-package.sh
# builds, checks and tries it). The Windows build makes its installer and zip
# instead (WindowsInstaller.cmake).
if(WIN32)
  return()
endif()

set(SHARDCAST_PACKAGE_MAINTAINER "Shardcast developers <maintainers@shardcast.invalid>" CACHE STRING
    "The Maintainer field of the Debian package")

install(TARGETS shardcast RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS shardcast_effect LIBRARY DESTINATION "${SHARDCAST_INSTALL_MODULE_DIR}")
if(TARGET shardcast_frei0r)
  install(TARGETS shardcast_frei0r LIBRARY DESTINATION "${SHARDCAST_INSTALL_FREI0R_DIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kdenlive/frei0r_shardcast.xml"
          DESTINATION "${SHARDCAST_INSTALL_KDENLIVE_DIR}")
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/packaging/shotcut/shardcast/"
          DESTINATION "${SHARDCAST_INSTALL_SHOTCUT_DIR}")
endif()
# The MLT filter with its metadata, Kdenlive's effect and Shotcut's filter
# for it. The frei0r filter's descriptions above stay for projects made with
# them (Shotcut's is hidden from its list).
if(TARGET shardcast_mlt)
  install(TARGETS shardcast_mlt LIBRARY DESTINATION "${SHARDCAST_INSTALL_MLT_MODULE_DIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/mlt/filter_shardcast.yml"
          DESTINATION "${SHARDCAST_INSTALL_MLT_DATA_DIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kdenlive/shardcast.xml" DESTINATION "${SHARDCAST_INSTALL_KDENLIVE_DIR}")
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/packaging/shotcut/shardcast_mlt/"
          DESTINATION "${SHARDCAST_INSTALL_SHOTCUT_MLT_DIR}")
endif()
install(DIRECTORY "${PROJECT_SOURCE_DIR}/looks/" DESTINATION "${SHARDCAST_INSTALL_DATA_DIR}/looks"
        FILES_MATCHING PATTERN "*.toml")
if(TARGET shardcast_studio)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/cli/studio/page/" DESTINATION "${SHARDCAST_INSTALL_DATA_DIR}/studio-page")
endif()
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${SHARDCAST_INSTALL_DOC_DIR}")

include(${CMAKE_CURRENT_LIST_DIR}/Copyright.cmake)

# Debian wants its documents compressed and without time stamps (gzip -n).
find_program(SHARDCAST_GZIP_PROGRAM gzip)
function(shardcast_gzip source output)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${SHARDCAST_GZIP_PROGRAM}" -9nc "${source}" > "${output}"
    DEPENDS "${source}"
    VERBATIM)
endfunction()

# The man page: help2man reads `shardcast --help` and `--version`; the
# subcommands' help, the fixed sections and the parameters' section (made
# from the parameter table) come in through an include file.
find_program(SHARDCAST_HELP2MAN_PROGRAM help2man)
if(SHARDCAST_HELP2MAN_PROGRAM AND SHARDCAST_GZIP_PROGRAM AND NOT CMAKE_CROSSCOMPILING)
  set(man_page "${CMAKE_CURRENT_BINARY_DIR}/man/shardcast.1")
  set(man_parameters "${CMAKE_CURRENT_BINARY_DIR}/man/parameters.h2m")
  add_custom_command(
    OUTPUT "${man_parameters}"
    COMMAND shardcast_describe man-section "${man_parameters}"
    DEPENDS shardcast_describe
    COMMENT "Writing the man page's parameter section"
    VERBATIM)
  add_custom_command(
    OUTPUT "${man_page}"
    COMMAND "${CMAKE_COMMAND}" -DTOOL=$<TARGET_FILE:shardcast> -DHELP2MAN=${SHARDCAST_HELP2MAN_PROGRAM}
            -DSECTIONS=${PROJECT_SOURCE_DIR}/packaging/shardcast.h2m -DPARAMETERS=${man_parameters}
            -DOUTPUT=${man_page} -P "${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake"
    DEPENDS shardcast "${PROJECT_SOURCE_DIR}/packaging/shardcast.h2m" "${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake"
            "${man_parameters}"
    COMMENT "Writing the man page"
    VERBATIM)
  shardcast_gzip("${man_page}" "${man_page}.gz")
  add_custom_target(shardcast_man_page ALL DEPENDS "${man_page}.gz")
  install(FILES "${man_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  # As man shows it: within 80 columns, with its examples.
  find_program(SHARDCAST_MAN_PROGRAM man)
  if(SHARDCAST_BUILD_TESTS AND SHARDCAST_MAN_PROGRAM)
    add_test(NAME man_page COMMAND ${CMAKE_COMMAND} -DPAGE=${man_page} -P
                                   ${PROJECT_SOURCE_DIR}/tests/man_page/man_page_test.cmake)
  endif()
else()
  message(STATUS "help2man not found (Debian: help2man): no man page")
endif()

# The Debian package. Its dependencies are computed from the installed
# binaries (dpkg-shlibdeps); libjpeg-turbo is linked in, so it is none of them.
set(changelog "${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.Debian")
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${changelog}" @ONLY)
shardcast_gzip("${changelog}" "${changelog}.gz")
add_custom_target(shardcast_package_changelog ALL DEPENDS "${changelog}.gz")
# Everything the package holds, for `cpack` after a build of this alone.
add_custom_target(shardcast_package_files)
add_dependencies(shardcast_package_files shardcast_programs shardcast_package_changelog)
if(TARGET shardcast_man_page)
  add_dependencies(shardcast_package_files shardcast_man_page)
endif()
# The quick start builds the programs alone (ninja only: it is asked what
# that build runs).
if(SHARDCAST_BUILD_TESTS AND CMAKE_GENERATOR STREQUAL "Ninja")
  add_test(NAME quick_start_builds_the_programs_alone
           COMMAND ${CMAKE_COMMAND} -DNINJA=${CMAKE_MAKE_PROGRAM} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DDEMO=${PROJECT_SOURCE_DIR}/scripts/demo.sh -P
                   ${PROJECT_SOURCE_DIR}/tests/quick_start/quick_start_test.cmake)
endif()
install(FILES "${changelog}.gz" "${SHARDCAST_COPYRIGHT_FILE}" DESTINATION "${SHARDCAST_INSTALL_DOC_DIR}")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME shardcast)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shardcast)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${SHARDCAST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "damaged-JPEG video effect for ffmpeg, MLT, Kdenlive and Shotcut")
# The extended description; CPack indents it and writes the empty line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Shardcast compresses every frame with libjpeg-turbo, overwrites seeded
pseudo-random bytes inside the compressed scan data and decodes the damaged
stream with its own tolerant JPEG decoder, which never gives up: smeared
blocks, colour shifts and stripes. Quantisation tables can be tampered with,
decoder stages switched off, and two convolution filters run. The same input
and settings always give the same frame.

This package holds the shardcast command-line renderer with the effect
module it drives, its named looks and its studio (a page on this machine's
loopback for trying settings live), the effect as a native MLT filter for
melt, Kdenlive and Shotcut (every parameter in its own units and
keyframable) and as a frei0r filter for ffmpeg, GStreamer and MLT, and the
filters' descriptions for the effect panels of Kdenlive and Shotcut.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The studio opens the desktop's browser through xdg-open (without it, the
# address it prints is opened by hand).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, melt, kdenlive, shotcut, gstreamer1.0-plugins-bad")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
