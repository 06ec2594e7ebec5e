/* Export of the module's entry points, and the fixed values the registration
 * call passes. The module exports nothing else: it is built with hidden
 * default visibility, and DllExport marks the two entry points. */
#ifndef SHARDCAST_SDK_ENTRY_H
#define SHARDCAST_SDK_ENTRY_H

#include "AEConfig.h"

#ifndef DllExport
#  if defined(AE_OS_WIN)
#    define DllExport __declspec(dllexport)
#  else
#    define DllExport __attribute__((visibility("default")))
#  endif
#endif

/* Name of the command entry point, as given at registration and in the
 * resource. */
#define AE_ENTRY_POINT "EffectMain"

/* Reserved-info value the registration call passes. */
#define AE_RESERVED_INFO 8

#endif
