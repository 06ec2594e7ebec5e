# Where the Windows build puts what it delivers: Shardcast.aex, shardcast.exe
# (which looks for the module beside itself) and the Wine test driver all in
# <build>/bin, ready to be copied as one folder.
foreach(target IN ITEMS shardcast_effect shardcast shardcast_wine_driver)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin"
      LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  endif()
endforeach()
