# The frei0r filter's tests open the built shardcast.so as a frei0r host
# does, run the command-line renderer for the expected frames, and run
# Debian's ffmpeg, melt and gst-launch-1.0 with FREI0R_PATH pointing at the
# filter's folder (frei0r_hosts_test). They also check the filter's value
# mapping directly and read the pictures with the tool's own picture files.
foreach(test IN ITEMS frei0r_test frei0r_hosts_test)
  if(NOT TARGET ${test})
    continue()
  endif()
  if(TARGET shardcast_frei0r AND TARGET shardcast)
    target_sources(${test} PRIVATE
      ${PROJECT_SOURCE_DIR}/frei0r/frei0r_parameters.cpp
      ${PROJECT_SOURCE_DIR}/cli/pictures/image_files.cpp
      ${PROJECT_SOURCE_DIR}/cli/pictures/png_files.cpp
      ${PROJECT_SOURCE_DIR}/cli/pictures/jpeg_files.cpp
      ${PROJECT_SOURCE_DIR}/cli/output/pending_file.cpp
      ${PROJECT_SOURCE_DIR}/cli/pictures/picture_limits.cpp)
    target_include_directories(${test} PRIVATE ${PROJECT_SOURCE_DIR} ${FREI0R_INCLUDE_DIR})
    target_link_libraries(${test} PRIVATE shardcast_hostsim shardcast_sdk shardcast_parameter_texts PNG::PNG
                          PkgConfig::TURBOJPEG ${CMAKE_DL_LIBS})
    target_compile_definitions(${test} PRIVATE
      SHARDCAST_FREI0R_PLUGIN="$<TARGET_FILE:shardcast_frei0r>"
      SHARDCAST_FREI0R_DIR="$<TARGET_FILE_DIR:shardcast_frei0r>"
      SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
      SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>")
    add_dependencies(${test} shardcast_frei0r shardcast shardcast_effect)
    shardcast_host_preload(${test})
  else()
    # Without frei0r.h there is no filter to test.
    set_target_properties(${test} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endforeach()
