# Where an installation (cmake --install, the Debian package) puts each part,
# decided before the parts are defined because the tool compiles in the way
# from its own folder to the module's:
#   bin/                              shardcast
#   <libdir>/shardcast/               Shardcast.so, found by the installed tool
#   lib/frei0r-1/                     the frei0r filter: ffmpeg 5.1 and MLT 7 look
#                                     there without FREI0R_PATH, and neither looks
#                                     in a multiarch folder
#   share/kdenlive/effects/           Kdenlive's description of the filter
#   share/shotcut/qml/filters/shardcast/  Shotcut's (Shotcut reads only the
#                                     folder beside its own program, /usr/share)
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
set(SHARDCAST_INSTALL_KDENLIVE_DIR "${CMAKE_INSTALL_DATADIR}/kdenlive/effects")
set(SHARDCAST_INSTALL_SHOTCUT_DIR "${CMAKE_INSTALL_DATADIR}/shotcut/qml/filters/shardcast")
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
