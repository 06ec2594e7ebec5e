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

# The fuzz harnesses' replay programs are Linux test tools (CTest runs them
# there); the Windows build leaves them out of its default target.
if(EXISTS "${PROJECT_SOURCE_DIR}/fuzz/CMakeLists.txt")
  get_property(shardcast_fuzz_targets DIRECTORY "${PROJECT_SOURCE_DIR}/fuzz" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS shardcast_fuzz_targets)
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endforeach()
endif()
