# The flags every target of ours builds with, carried by one interface
# target, shardcast_flags, that each target links (the libraries pass it on
# to whatever links them).
#
# Every frame must come out the same, byte for byte, on every build and
# platform, and equal to an independent implementation: the decoder's and
# the filters' single-precision arithmetic is specified operation by
# operation. So the compiler may never fuse or reorder floating-point
# operations: no contraction into fused multiply-adds, no fast-math, and
# SSE arithmetic on x86-64 (never the x87 unit's wider intermediates).

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(SHARDCAST_WARNINGS_AS_ERRORS "Fail the build on any compiler warning (CI builds set this)" OFF)
set(SHARDCAST_SANITIZE "" CACHE STRING "Comma-separated sanitizers, e.g. address,undefined")

add_library(shardcast_flags INTERFACE)
target_compile_features(shardcast_flags INTERFACE cxx_std_20)
target_compile_options(shardcast_flags INTERFACE
  -ffp-contract=off -fno-fast-math
  -Wall -Wextra -Wno-multichar
  $<$<BOOL:${SHARDCAST_WARNINGS_AS_ERRORS}>:-Werror>)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64")
  target_compile_options(shardcast_flags INTERFACE -mfpmath=sse -msse2)
endif()

if(SHARDCAST_SANITIZE)
  target_compile_options(shardcast_flags INTERFACE
    -fsanitize=${SHARDCAST_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(shardcast_flags INTERFACE -fsanitize=${SHARDCAST_SANITIZE})
endif()

# Options for the few files that hold AVX2 forms of the fast paths: only
# those files are compiled for AVX2, and their code runs only where the
# processor has it (decoder/simd_level.h). No FMA, so nothing is fused.
# MinGW cannot align the stack to 32 bytes, so there the assembler turns
# aligned vector moves into unaligned ones.
set(SHARDCAST_AVX2_OPTIONS -mavx2)
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  list(APPEND SHARDCAST_AVX2_OPTIONS -Wa,-muse-unaligned-vector-move)
endif()

# Coverage instrumentation for libFuzzer, on every target of a fuzzing build;
# the harness executables add the fuzzer's own main.
if(SHARDCAST_BUILD_FUZZERS)
  target_compile_options(shardcast_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Links an ELF module so that it exports only what the version script names:
# anything pulled in from static libraries (libjpeg-turbo, the C++ runtime
# pieces) stays out of the dynamic symbol table. Every symbol is resolved at
# link time, so that a program that links the effect without saying where its
# lines go fails to build, not to load. (A sanitizer runtime is resolved only
# when the module is loaded.)
function(shardcast_export_only target export_map)
  target_link_options(${target} PRIVATE
    -Wl,--exclude-libs,ALL
    -Wl,--version-script=${export_map})
  if(NOT SHARDCAST_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${export_map})
endfunction()
