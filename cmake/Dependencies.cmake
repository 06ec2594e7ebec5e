# Third-party libraries, all from Debian's packages (scripts/install-deps.sh).

# A Windows build brings its own copies of the libraries.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsDependencies.cmake)
  return()
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
# The command-line renderer: option parsing and PNG files.
find_package(CLI11 CONFIG REQUIRED)
find_package(PNG REQUIRED)
# The frei0r filter: the plug-in API's header (frei0r-plugins-dev). Without
# it the filter is left out of the build.
find_path(FREI0R_INCLUDE_DIR frei0r.h)

if(SHARDCAST_BUILD_TESTS)
  find_package(GTest REQUIRED)
  find_package(JPEG REQUIRED)
  include(GoogleTest)
endif()
if(SHARDCAST_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
