# What the Windows build delivers to users, versioned with the project, in
# <build>/packages:
#   Shardcast-<version>-setup.exe   the installer (makensis, from Debian's nsis)
#   Shardcast-<version>-windows.zip Shardcast.aex, README.md and LICENSES.txt
# Both are made with the module; without makensis the installer is left out
# with a note.
if(NOT TARGET shardcast_effect)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Copyright.cmake)

set(shardcast_packages_dir "${CMAKE_BINARY_DIR}/packages")
set(shardcast_zip_stage "${CMAKE_BINARY_DIR}/packages/zip")
set(shardcast_zip "${shardcast_packages_dir}/Shardcast-${PROJECT_VERSION}-windows.zip")
add_custom_command(
  OUTPUT "${shardcast_zip}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${shardcast_zip_stage}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${shardcast_zip_stage}"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:shardcast_effect>" "${shardcast_zip_stage}/Shardcast.aex"
  COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/README.md" "${shardcast_zip_stage}/README.md"
  COMMAND "${CMAKE_COMMAND}" -E copy "${SHARDCAST_COPYRIGHT_FILE}" "${shardcast_zip_stage}/LICENSES.txt"
  COMMAND "${CMAKE_COMMAND}" -E chdir "${shardcast_zip_stage}"
          "${CMAKE_COMMAND}" -E tar cf "${shardcast_zip}" --format=zip Shardcast.aex README.md LICENSES.txt
  DEPENDS shardcast_effect "${PROJECT_SOURCE_DIR}/README.md" "${SHARDCAST_COPYRIGHT_FILE}"
  COMMENT "Packing ${shardcast_zip}"
  VERBATIM)
set(shardcast_package_files "${shardcast_zip}")

find_program(SHARDCAST_MAKENSIS_PROGRAM makensis)
if(SHARDCAST_MAKENSIS_PROGRAM)
  set(script "${PROJECT_SOURCE_DIR}/packaging/windows/shardcast.nsi")
  set(installer "${shardcast_packages_dir}/Shardcast-${PROJECT_VERSION}-setup.exe")
  add_custom_command(
    OUTPUT "${installer}"
    COMMAND "${SHARDCAST_MAKENSIS_PROGRAM}" -V2 -INPUTCHARSET UTF8
            "-DSHARDCAST_VERSION=${PROJECT_VERSION}"
            "-DSHARDCAST_MODULE=$<TARGET_FILE:shardcast_effect>"
            "-DSHARDCAST_README=${PROJECT_SOURCE_DIR}/README.md"
            "-DSHARDCAST_LICENSES=${SHARDCAST_COPYRIGHT_FILE}"
            "-DSHARDCAST_OUTPUT=${installer}" "${script}"
    DEPENDS shardcast_effect "${script}" "${PROJECT_SOURCE_DIR}/README.md" "${SHARDCAST_COPYRIGHT_FILE}"
    COMMENT "Making the installer ${installer}"
    VERBATIM)
  list(APPEND shardcast_package_files "${installer}")
else()
  message(STATUS "makensis not found (Debian: nsis): no Windows installer")
endif()
add_custom_target(shardcast_windows_packages ALL DEPENDS ${shardcast_package_files})
