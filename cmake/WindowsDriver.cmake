# The Windows build of the Wine test driver (tests/windows_driver.cpp): the
# simulated host and the driver as a Windows program, which loads
# Shardcast.aex with LoadLibrary the way the command-line renderer does. It
# also runs the decoder and the filters itself (the pipeline library), each
# instruction set forced in turn.
set(shardcast_driver_source "${PROJECT_SOURCE_DIR}/tests/windows_driver.cpp")
if(NOT TARGET shardcast_hostsim OR NOT EXISTS "${shardcast_driver_source}")
  return()
endif()
add_executable(shardcast_wine_driver "${shardcast_driver_source}")
target_include_directories(shardcast_wine_driver PRIVATE "${PROJECT_SOURCE_DIR}")
target_link_libraries(shardcast_wine_driver PRIVATE shardcast_hostsim shardcast_sdk shardcast_pipeline)
add_dependencies(shardcast_wine_driver shardcast_effect)
