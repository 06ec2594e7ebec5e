# The module tests load the built effect module through the simulated host,
# and the PiPL test reads the generated resource; both get the paths as
# compile definitions and are rebuilt after what they read.
if(TARGET pipl_test)
  target_compile_definitions(pipl_test PRIVATE
    SHARDCAST_PIPL_FILE="$<TARGET_PROPERTY:shardcast_pipl,PIPL_FILE>"
    SHARDCAST_PIPL_RC="$<TARGET_PROPERTY:shardcast_pipl,PIPL_RC>")
  target_include_directories(pipl_test PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(pipl_test PRIVATE shardcast_version)
  add_dependencies(pipl_test shardcast_pipl)
endif()

file(GLOB module_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/module_*_test.cpp)
foreach(source IN LISTS module_tests)
  get_filename_component(name ${source} NAME_WE)
  target_compile_definitions(${name} PRIVATE SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE shardcast_hostsim shardcast_sdk)
  add_dependencies(${name} shardcast_effect)
endforeach()
