# The MLT filter's tests: its keyed values read in process through MLT's
# framework, its metadata read with MLT's own YAML parser, and frames that
# Debian's melt renders through the built filter, compared byte for byte
# with `shardcast render`. melt finds the built filter in a folder of links
# to the system's MLT modules and data beside it.
if(TARGET mlt_test)
  if(TARGET shardcast_mlt AND TARGET shardcast)
    pkg_get_variable(mlt_module_dir mlt-framework-7 moduledir)
    pkg_get_variable(mlt_data_dir mlt-framework-7 mltdatadir)
    target_sources(mlt_test PRIVATE ${PROJECT_SOURCE_DIR}/mlt/keyed_values.cpp)
    target_include_directories(mlt_test PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(mlt_test PRIVATE shardcast_hostsim shardcast_sdk shardcast_parameter_texts PkgConfig::MLT)
    target_compile_definitions(mlt_test PRIVATE
      SHARDCAST_MLT_FILTER="$<TARGET_FILE:shardcast_mlt>"
      SHARDCAST_MLT_SYSTEM_MODULES="${mlt_module_dir}"
      SHARDCAST_MLT_SYSTEM_DATA="${mlt_data_dir}"
      SHARDCAST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      SHARDCAST_CLI_PATH="$<TARGET_FILE:shardcast>"
      SHARDCAST_MODULE_PATH="$<TARGET_FILE:shardcast_effect>")
    add_dependencies(mlt_test shardcast_mlt shardcast shardcast_effect)
    shardcast_host_preload(mlt_test)
  else()
    # Without MLT's framework there is no filter to test.
    set_target_properties(mlt_test PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
