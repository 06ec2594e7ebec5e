# Third-party libraries of the Windows cross build. Nothing comes from the
# build machine's own libraries: libjpeg-turbo and libpng are Debian's
# sources built for Windows by scripts/build-deps.sh windows into
# SHARDCAST_WINDOWS_DEPS_DIR, zlib is Debian's MinGW package, and CLI11 and
# toml++ (header-only; Debian's toml++ is also a shared library, which a
# Windows build does without) are copied out of the build machine's include
# folder alone so that no Linux header can reach a Windows compile.
#
# The targets carry the names the Linux build's find modules give them, so
# the libraries' users need no platform branch.

# An MSVC build links the C and C++ runtimes statically too (the MinGW
# toolchain file does the same with -static), so the module needs no
# redistributable beside it.
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")

set(SHARDCAST_WINDOWS_DEPS_DIR "${PROJECT_SOURCE_DIR}/build/windows-deps" CACHE PATH
    "Windows libraries built by scripts/build-deps.sh windows")

# MinGW and MSVC builds name the libraries differently.
set(shardcast_windows_deps_script "scripts/build-deps.sh windows")
shardcast_prebuilt_library(PkgConfig::TURBOJPEG "${SHARDCAST_WINDOWS_DEPS_DIR}/libjpeg-turbo"
                           "${shardcast_windows_deps_script}" libturbojpeg.a turbojpeg-static.lib)

# The static zlib by its file name: a plain search would find the import
# library of zlib1.dll first.
find_library(SHARDCAST_WINDOWS_ZLIB NAMES libz.a zlibstatic.lib zlib.lib REQUIRED)
shardcast_prebuilt_library(PNG::PNG "${SHARDCAST_WINDOWS_DEPS_DIR}/libpng" "${shardcast_windows_deps_script}"
                           libpng.a libpng16_static.lib)
set_property(TARGET PNG::PNG PROPERTY INTERFACE_LINK_LIBRARIES "${SHARDCAST_WINDOWS_ZLIB}")

if(CMAKE_CROSSCOMPILING)
  find_path(SHARDCAST_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT SHARDCAST_CLI11_INCLUDE)
    message(FATAL_ERROR "CLI11 headers not found (Debian package libcli11-dev)")
  endif()
  file(COPY "${SHARDCAST_CLI11_INCLUDE}/CLI" DESTINATION "${CMAKE_BINARY_DIR}/windows-include")
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_BINARY_DIR}/windows-include")
  find_path(SHARDCAST_TOMLPLUSPLUS_INCLUDE toml++/toml.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT SHARDCAST_TOMLPLUSPLUS_INCLUDE)
    message(FATAL_ERROR "toml++ headers not found (Debian package libtomlplusplus-dev)")
  endif()
  file(COPY "${SHARDCAST_TOMLPLUSPLUS_INCLUDE}/toml++" DESTINATION "${CMAKE_BINARY_DIR}/windows-include")
  add_library(tomlplusplus::tomlplusplus INTERFACE IMPORTED)
  set_target_properties(tomlplusplus::tomlplusplus PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_BINARY_DIR}/windows-include")
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(tomlplusplus CONFIG REQUIRED)
endif()

# The PiPL resource, the Wine test driver, the output folder and the
# installer need every target defined, so they are wired up once the
# top-level CMakeLists.txt has been read.
enable_language(RC)
option(SHARDCAST_BUILD_WINE_DRIVER "Build the Windows test driver that the Wine tests run" OFF)
set(shardcast_windows_wiring WindowsResources)
if(SHARDCAST_BUILD_WINE_DRIVER)
  list(APPEND shardcast_windows_wiring WindowsDriver)
endif()
list(APPEND shardcast_windows_wiring WindowsLayout WindowsInstaller)
foreach(wiring IN LISTS shardcast_windows_wiring)
  # Deferred arguments are expanded late; EVAL fixes the file name now.
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]]
    CALL include [[${PROJECT_SOURCE_DIR}/cmake/${wiring}.cmake]])")
endforeach()
