/* Platform switch for the effect-module headers in this folder.
 *
 * The host's own configuration header only knows Windows and macOS; our layer
 * also has to build on Linux, where the module is driven by the simulated
 * host. Exactly one AE_OS_* and one AE_PROC_* macro is defined. */
#ifndef SHARDCAST_SDK_AECONFIG_H
#define SHARDCAST_SDK_AECONFIG_H

#if defined(_WIN32)
#  ifndef AE_OS_WIN
#    define AE_OS_WIN 1
#  endif
#elif defined(__APPLE__)
#  ifndef AE_OS_MAC
#    define AE_OS_MAC 1
#  endif
#elif defined(__linux__)
#  ifndef AE_OS_LINUX
#    define AE_OS_LINUX 1
#  endif
#else
#  error "Unsupported platform for the effect-module headers"
#endif

#if defined(_M_X64) || defined(__x86_64__)
#  ifndef AE_PROC_INTELx64
#    define AE_PROC_INTELx64 1
#  endif
#elif defined(_M_ARM64) || defined(__aarch64__)
#  ifndef AE_PROC_ARM64
#    define AE_PROC_ARM64 1
#  endif
#else
#  error "The effect-module headers describe 64-bit hosts only"
#endif

#endif
