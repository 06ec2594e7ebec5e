/* Scalar types of the basic-suite (PICA) layer. */
#ifndef SHARDCAST_SDK_SPTYPES_H
#define SHARDCAST_SDK_SPTYPES_H

#include <stddef.h>
#include <stdint.h>

#include "AEConfig.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t int32;
typedef uint32_t uint32;
typedef int16_t int16;
typedef uint16_t uint16;
typedef uint8_t uint8;

typedef int32 SPErr;

/* Four bytes on Windows, one elsewhere; only the return type of IsEqual
 * depends on it, never a record layout. */
#if defined(AE_OS_WIN)
typedef int32 SPBoolean;
#else
typedef uint8 SPBoolean;
#endif

/* Plain C calls on every supported platform. */
#ifndef SPAPI
#define SPAPI
#endif

#ifdef __cplusplus
}
#endif

#endif
