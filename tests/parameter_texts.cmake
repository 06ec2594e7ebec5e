# The parameter texts and the checked-in descriptions, which the test reads
# from the source folder and holds against the parameter table.
if(TARGET parameter_texts_test)
  target_link_libraries(parameter_texts_test PRIVATE shardcast_descriptions)
  target_compile_definitions(parameter_texts_test PRIVATE SHARDCAST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
