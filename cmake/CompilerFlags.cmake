# Flags every target shares. The effect's output is compared byte for byte
# with an independent implementation, so the compiler must never fuse or
# reorder floating-point operations: no contraction, no fast-math, SSE
# arithmetic (the x86-64 default, never x87).

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra -Wno-multichar)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64")
  add_compile_options(-mfpmath=sse -msse2)
endif()

set(SHARDCAST_SANITIZE "" CACHE STRING "Comma-separated sanitizers, e.g. address,undefined")
if(SHARDCAST_SANITIZE)
  add_compile_options(-fsanitize=${SHARDCAST_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${SHARDCAST_SANITIZE})
endif()

# Coverage instrumentation for libFuzzer, on every target of a fuzzing build;
# the harness executables add the fuzzer's own main.
if(SHARDCAST_BUILD_FUZZERS)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
