# The PiPL registration resource in the Windows module: the resource script
# that resources/ generates is compiled in with the resource compiler
# (windres in a MinGW build), giving type PIPL, id 16000, language 1033.
#
# In a cross build the generator is a Windows program and cannot run here,
# so a copy of it is also compiled for the build machine and runs in its
# place; the bytes are the same, as the generator only writes numbers.

if(NOT TARGET shardcast_effect OR NOT TARGET shardcast_pipl)
  return()
endif()
get_target_property(shardcast_pipl_rc shardcast_pipl PIPL_RC)
get_target_property(shardcast_effect_sources shardcast_effect SOURCES)
if(shardcast_effect_sources MATCHES "\\.rc(;|$)")
  return()  # the module already carries a resource script
endif()

set_source_files_properties("${shardcast_pipl_rc}" PROPERTIES GENERATED TRUE LANGUAGE RC)
target_sources(shardcast_effect PRIVATE "${shardcast_pipl_rc}")

if(CMAKE_CROSSCOMPILING AND TARGET shardcast_pipl_generator)
  find_program(SHARDCAST_BUILD_MACHINE_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(generator_source "${PROJECT_SOURCE_DIR}/resources/pipl_generator.cpp")
  set(generator "${CMAKE_BINARY_DIR}/build-machine/shardcast_pipl_generator")
  add_custom_command(
    OUTPUT "${generator}"
    COMMAND "${SHARDCAST_BUILD_MACHINE_CXX}" -std=c++20 -O1 -Wno-multichar
            -DSHARDCAST_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DSHARDCAST_VERSION_MINOR=${PROJECT_VERSION_MINOR}
            "-I${PROJECT_SOURCE_DIR}" "${generator_source}" -o "${generator}"
    DEPENDS "${generator_source}" "${PROJECT_SOURCE_DIR}/host/registration.h" "${PROJECT_SOURCE_DIR}/CMakeLists.txt"
    COMMENT "Building the PiPL generator for the build machine"
    VERBATIM)
  add_custom_target(shardcast_pipl_generator_build_machine DEPENDS "${generator}")
  add_dependencies(shardcast_pipl shardcast_pipl_generator_build_machine)
  # The generator's custom command runs its target through this "emulator",
  # which hands the arguments to the build machine's copy instead.
  set_target_properties(shardcast_pipl_generator PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-DSHARDCAST_TOOL=${generator};-P;${CMAKE_CURRENT_LIST_DIR}/WindowsRunOnBuildMachine.cmake")
endif()
