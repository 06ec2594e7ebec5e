# Cross-compiling for Windows x86-64 with Debian's MinGW-w64 GCC.
#
# The win32 thread model is chosen over posix: nothing in the effect or its
# tools starts a thread, and that model needs no winpthread library, so with
# the static C and C++ runtimes below every binary imports only Windows system
# DLLs (KERNEL32.dll and msvcrt.dll).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SHARDCAST_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${SHARDCAST_MINGW_TRIPLE}-gcc-win32 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${SHARDCAST_MINGW_TRIPLE}-g++-win32 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${SHARDCAST_MINGW_TRIPLE}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${SHARDCAST_MINGW_TRIPLE}-gcc-ar-win32 ${SHARDCAST_MINGW_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${SHARDCAST_MINGW_TRIPLE}-gcc-ranlib-win32 ${SHARDCAST_MINGW_TRIPLE}-ranlib REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${SHARDCAST_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${SHARDCAST_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link libgcc and libstdc++ into every executable and module, so that a copy
# of Shardcast.aex or shardcast.exe runs without MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
