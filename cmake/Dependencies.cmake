# Third-party libraries, all from Debian: packages installed by
# scripts/install-deps.sh, and libjpeg-turbo built static from Debian's source
# by scripts/build-deps.sh (which install-deps.sh runs).

# An imported static library from <root>/lib, under the first of the file
# names given that exists, with <root>/include as its headers.
function(shardcast_prebuilt_library target root script)
  foreach(file IN LISTS ARGN)
    if(EXISTS "${root}/lib/${file}" AND EXISTS "${root}/include")
      add_library(${target} STATIC IMPORTED)
      set_target_properties(${target} PROPERTIES
        IMPORTED_LOCATION "${root}/lib/${file}"
        INTERFACE_INCLUDE_DIRECTORIES "${root}/include")
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "No prebuilt library in ${root}: run ${script} first")
endfunction()

# A Windows build brings its own copies of the libraries.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsDependencies.cmake)
  return()
endif()

# libjpeg-turbo: Debian's shared libturbojpeg reads TJ_OPTIMIZE, TJ_RESTART,
# TJ_PROGRESSIVE and TJ_ARITHMETIC from the environment when it compresses,
# so a user's shell settings would change the effect's frames. The static
# copy of the same version is built with NO_GETENV and linked instead; the
# target keeps the name pkg-config gives the shared library.
option(SHARDCAST_SYSTEM_LIBJPEG_TURBO
       "Link the system's shared libjpeg-turbo (frames then follow the TJ_* environment variables)" OFF)
find_package(PkgConfig REQUIRED)
if(SHARDCAST_SYSTEM_LIBJPEG_TURBO)
  pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
else()
  set(SHARDCAST_LINUX_DEPS_DIR "${PROJECT_SOURCE_DIR}/build/linux-deps" CACHE PATH
      "Static libraries built by scripts/build-deps.sh linux")
  shardcast_prebuilt_library(PkgConfig::TURBOJPEG "${SHARDCAST_LINUX_DEPS_DIR}/libjpeg-turbo"
                             "scripts/build-deps.sh linux" libturbojpeg.a)
endif()
# The command-line renderer: option parsing, PNG files, and video files
# through FFmpeg's libraries.
find_package(CLI11 CONFIG REQUIRED)
find_package(PNG REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswscale libswresample)
# Saved settings are TOML, read with toml++ (Debian builds it as a shared
# library). The studio serves its page with cpp-httplib (also shared) and
# speaks JSON through nlohmann-json (header-only).
find_package(tomlplusplus CONFIG REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(nlohmann_json CONFIG REQUIRED)
find_package(Threads REQUIRED)
# The frei0r filter: the plug-in API's header (frei0r-plugins-dev). Without
# it the filter is left out of the build.
find_path(FREI0R_INCLUDE_DIR frei0r.h)
# The MLT filter: MLT 7's framework (libmlt-dev). Without it the filter is
# left out of the build.
pkg_check_modules(MLT IMPORTED_TARGET mlt-framework-7)

if(SHARDCAST_BUILD_TESTS)
  find_package(GTest REQUIRED)
  # The tests' reference decoder uses the libjpeg API: the one inside the
  # static TurboJPEG library, so that a test program holds one libjpeg.
  if(SHARDCAST_SYSTEM_LIBJPEG_TURBO)
    find_package(JPEG REQUIRED)
  else()
    add_library(JPEG::JPEG INTERFACE IMPORTED)
    target_link_libraries(JPEG::JPEG INTERFACE PkgConfig::TURBOJPEG)
  endif()
  include(GoogleTest)
endif()
if(SHARDCAST_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
