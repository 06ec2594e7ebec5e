# What the Windows build delivers to users, versioned with the project, in
# <build>/packages:
#   Shardcast-<version>-setup.exe   the installer (makensis, from Debian's nsis)
#   Shardcast-<version>-windows.zip Shardcast.aex, shardcast.exe, looks\,
#                                   README.md and LICENSES.txt
# Both are made from one staging folder (packages/zip), so they deliver the
# same files, the module and the tool without their symbols and debug sections; without
# makensis the installer is left out with a note. The tool looks for the
# module and for looks\ beside itself, so both packages put them there: the
# zip in its one folder, the installer in the program's folder (besides the
# plug-in in the hosts' folder).
if(NOT TARGET shardcast_effect OR NOT TARGET shardcast)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Copyright.cmake)

set(shardcast_packages_dir "${CMAKE_BINARY_DIR}/packages")
set(shardcast_zip_stage "${CMAKE_BINARY_DIR}/packages/zip")
set(shardcast_zip "${shardcast_packages_dir}/Shardcast-${PROJECT_VERSION}-windows.zip")
file(GLOB shardcast_look_files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/looks/*.toml")
set(shardcast_look_names)
foreach(look IN LISTS shardcast_look_files)
  get_filename_component(name "${look}" NAME)
  list(APPEND shardcast_look_names "looks/${name}")
endforeach()
# A MinGW build has a strip for its own binaries; another build's are copied.
if(CMAKE_STRIP)
  set(shardcast_stage_binary "${CMAKE_STRIP}" --strip-all -o)
else()
  set(shardcast_stage_binary "${CMAKE_COMMAND}" -E copy)
endif()
add_custom_command(
  OUTPUT "${shardcast_zip}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${shardcast_zip_stage}" "${shardcast_zip}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${shardcast_zip_stage}/looks"
  COMMAND ${shardcast_stage_binary} "${shardcast_zip_stage}/Shardcast.aex" "$<TARGET_FILE:shardcast_effect>"
  COMMAND ${shardcast_stage_binary} "${shardcast_zip_stage}/shardcast.exe" "$<TARGET_FILE:shardcast>"
  COMMAND "${CMAKE_COMMAND}" -E copy ${shardcast_look_files} "${shardcast_zip_stage}/looks"
  COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/README.md" "${shardcast_zip_stage}/README.md"
  COMMAND "${CMAKE_COMMAND}" -E copy "${SHARDCAST_COPYRIGHT_FILE}" "${shardcast_zip_stage}/LICENSES.txt"
  COMMAND "${CMAKE_COMMAND}" -E chdir "${shardcast_zip_stage}"
          "${CMAKE_COMMAND}" -E tar cf "${shardcast_zip}" --format=zip Shardcast.aex shardcast.exe
          ${shardcast_look_names} README.md LICENSES.txt
  DEPENDS shardcast_effect shardcast ${shardcast_look_files} "${PROJECT_SOURCE_DIR}/README.md"
          "${SHARDCAST_COPYRIGHT_FILE}"
  COMMENT "Packing ${shardcast_zip}"
  VERBATIM)
set(shardcast_package_files "${shardcast_zip}")

find_program(SHARDCAST_MAKENSIS_PROGRAM makensis)
if(SHARDCAST_MAKENSIS_PROGRAM)
  set(script "${PROJECT_SOURCE_DIR}/packaging/windows/shardcast.nsi")
  set(installer "${shardcast_packages_dir}/Shardcast-${PROJECT_VERSION}-setup.exe")
  # The looks by name, so that the uninstaller removes exactly those and
  # leaves any look the user put beside them.
  set(looks_script "${shardcast_packages_dir}/looks.nsh")
  set(install_looks "")
  set(remove_looks "")
  foreach(look IN LISTS shardcast_look_files)
    get_filename_component(name "${look}" NAME)
    string(APPEND install_looks "  File \"/oname=${name}\" \"${shardcast_zip_stage}/looks/${name}\"\n")
    string(APPEND remove_looks "  Delete \"$INSTDIR\\looks\\${name}\"\n")
  endforeach()
  file(CONFIGURE OUTPUT "${looks_script}" CONTENT
       "!macro INSTALL_LOOKS\n${install_looks}!macroend\n!macro REMOVE_LOOKS\n${remove_looks}!macroend\n" @ONLY)
  add_custom_command(
    OUTPUT "${installer}"
    COMMAND "${SHARDCAST_MAKENSIS_PROGRAM}" -V2 -INPUTCHARSET UTF8
            "-DSHARDCAST_VERSION=${PROJECT_VERSION}"
            "-DSHARDCAST_MODULE=${shardcast_zip_stage}/Shardcast.aex"
            "-DSHARDCAST_TOOL=${shardcast_zip_stage}/shardcast.exe"
            "-DSHARDCAST_LOOKS_SCRIPT=${looks_script}"
            "-DSHARDCAST_README=${shardcast_zip_stage}/README.md"
            "-DSHARDCAST_LICENSES=${shardcast_zip_stage}/LICENSES.txt"
            "-DSHARDCAST_OUTPUT=${installer}" "${script}"
    DEPENDS "${shardcast_zip}" "${script}" "${looks_script}"
    COMMENT "Making the installer ${installer}"
    VERBATIM)
  list(APPEND shardcast_package_files "${installer}")
else()
  message(STATUS "makensis not found (Debian: nsis): no Windows installer")
endif()
add_custom_target(shardcast_windows_packages ALL DEPENDS ${shardcast_package_files})
