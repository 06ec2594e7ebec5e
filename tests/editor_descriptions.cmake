# The Kdenlive and Shotcut descriptions are read as files and held against
# the built module's registration and the frei0r filter's value mapping, or
# for the MLT filter the effect's own values.
if(TARGET editor_descriptions_test)
  if(TARGET shardcast_frei0r)
    find_package(pugixml CONFIG REQUIRED)
    target_sources(editor_descriptions_test PRIVATE ${PROJECT_SOURCE_DIR}/frei0r/frei0r_parameters.cpp)
    target_include_directories(editor_descriptions_test PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(editor_descriptions_test PRIVATE shardcast_hostsim shardcast_sdk shardcast_parameter_texts
                          pugixml::pugixml)
    target_compile_definitions(editor_descriptions_test PRIVATE
      SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>"
      SHARDCAST_FREI0R_NAME="$<TARGET_FILE_BASE_NAME:shardcast_frei0r>"
      SHARDCAST_KDENLIVE_EFFECT="${PROJECT_SOURCE_DIR}/packaging/kdenlive/frei0r_shardcast.xml"
      SHARDCAST_SHOTCUT_FOLDER="${PROJECT_SOURCE_DIR}/packaging/shotcut/shardcast"
      SHARDCAST_KDENLIVE_MLT_EFFECT="${PROJECT_SOURCE_DIR}/packaging/kdenlive/shardcast.xml"
      SHARDCAST_SHOTCUT_MLT_FOLDER="${PROJECT_SOURCE_DIR}/packaging/shotcut/shardcast_mlt")
    target_link_libraries(editor_descriptions_test PRIVATE shardcast_descriptions)
    add_dependencies(editor_descriptions_test shardcast_effect)
  else()
    # Without the frei0r filter there is nothing for the editors to load.
    set_target_properties(editor_descriptions_test PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
