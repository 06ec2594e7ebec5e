# Where an installation (cmake --install, the Debian package) puts each part,
# decided before the parts are defined because the tool compiles in the way
# from its own folder to the module's:
#   bin/                              shardcast
#   <libdir>/shardcast/               Shardcast.so, found by the installed tool
#   lib/frei0r-1/                     the frei0r filter: ffmpeg 5.1 and MLT 7 look
#                                     there without FREI0R_PATH, and neither looks
#                                     in a multiarch folder
#   lib/<multiarch>/mlt-7/            the MLT filter libmltshardcast.so, and
#   share/mlt-7/shardcast/            its metadata: the folders of Debian's MLT 7,
#                                     where melt, Kdenlive and Shotcut look
#                                     without MLT_REPOSITORY or MLT_DATA
#   share/kdenlive/effects/           Kdenlive's descriptions of the filters
#   share/shotcut/qml/filters/shardcast_mlt/, .../shardcast/  Shotcut's
#                                     (Shotcut reads only the folder beside its
#                                     own program, /usr/share)
#   share/shardcast/looks/            the named looks (--settings NAME)
#   share/shardcast/studio-page/      the studio's page
#   share/doc/shardcast/, share/man/man1/
# A Windows build keeps the module beside the tool and looks for its data there.
include(GNUInstallDirs)

if(WIN32)
  set(SHARDCAST_INSTALL_MODULE_DIR "${CMAKE_INSTALL_BINDIR}")
else()
  set(SHARDCAST_INSTALL_MODULE_DIR "${CMAKE_INSTALL_LIBDIR}/shardcast")
endif()
set(SHARDCAST_INSTALL_FREI0R_DIR "lib/frei0r-1")
# MLT's own folders, taken from its pkg-config file relative to its prefix
# (Debian: /usr/lib/x86_64-linux-gnu/mlt-7 and /usr/share/mlt-7).
if(TARGET PkgConfig::MLT)
  pkg_get_variable(shardcast_mlt_prefix mlt-framework-7 prefix)
  pkg_get_variable(shardcast_mlt_modules mlt-framework-7 moduledir)
  pkg_get_variable(shardcast_mlt_data mlt-framework-7 mltdatadir)
  file(RELATIVE_PATH SHARDCAST_INSTALL_MLT_MODULE_DIR "${shardcast_mlt_prefix}" "${shardcast_mlt_modules}")
  file(RELATIVE_PATH shardcast_mlt_data "${shardcast_mlt_prefix}" "${shardcast_mlt_data}")
  set(SHARDCAST_INSTALL_MLT_DATA_DIR "${shardcast_mlt_data}/shardcast")
endif()
set(SHARDCAST_INSTALL_KDENLIVE_DIR "${CMAKE_INSTALL_DATADIR}/kdenlive/effects")
set(SHARDCAST_INSTALL_SHOTCUT_DIR "${CMAKE_INSTALL_DATADIR}/shotcut/qml/filters/shardcast")
set(SHARDCAST_INSTALL_SHOTCUT_MLT_DIR "${CMAKE_INSTALL_DATADIR}/shotcut/qml/filters/shardcast_mlt")
set(SHARDCAST_INSTALL_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/shardcast")
if(WIN32)
  set(SHARDCAST_INSTALL_DATA_DIR "${CMAKE_INSTALL_BINDIR}")
else()
  set(SHARDCAST_INSTALL_DATA_DIR "${CMAKE_INSTALL_DATADIR}/shardcast")
endif()

# Relative, so that an installation can move as a whole.
foreach(part IN ITEMS MODULE DATA)
  cmake_path(ABSOLUTE_PATH SHARDCAST_INSTALL_${part}_DIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
             OUTPUT_VARIABLE shardcast_full_dir)
  file(RELATIVE_PATH SHARDCAST_INSTALL_${part}_DIR_FROM_BIN "${CMAKE_INSTALL_FULL_BINDIR}" "${shardcast_full_dir}")
  if(SHARDCAST_INSTALL_${part}_DIR_FROM_BIN STREQUAL "")
    set(SHARDCAST_INSTALL_${part}_DIR_FROM_BIN ".")
  endif()
endforeach()
