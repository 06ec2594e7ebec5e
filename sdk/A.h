/* Basic scalar types, time record and general error codes of the host
 * interface. A_long is a fixed 32-bit type on every platform: spelling it
 * `long` would move every later member on LP64 systems. */
#ifndef SHARDCAST_SDK_A_H
#define SHARDCAST_SDK_A_H

#include <stdint.h>

#include "AEConfig.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 8)

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef int64_t A_intptr_t;

typedef struct {
  A_long value;
  A_u_long scale;
} A_Time;

enum {
  A_Err_NONE = 0,
  A_Err_GENERIC = 1,
  A_Err_STRUCT = 2,
  A_Err_PARAMETER = 3,
  A_Err_ALLOC = 4,
  A_Err_WRONG_THREAD = 5,
  A_Err_CONST_PROJECT_MODIFICATION = 6,
  A_Err_RESERVED_7 = 7,
  A_Err_RESERVED_8 = 8,
  A_Err_RESERVED_9 = 9,
  A_Err_RESERVED_10 = 10,
  A_Err_RESERVED_11 = 11,
  A_Err_RESERVED_12 = 12,
  A_Err_MISSING_SUITE = 13,
  A_Err_RESERVED_14 = 14,
  A_Err_RESERVED_15 = 15,
  A_Err_RESERVED_16 = 16,
  A_Err_RESERVED_17 = 17,
  A_Err_RESERVED_18 = 18,
  A_Err_RESERVED_19 = 19,
  A_Err_RESERVED_20 = 20,
  A_Err_RESERVED_21 = 21,
  A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING = 22,
  A_Err_PROJECT_LOAD_FATAL = 23,
  A_Err_EFFECT_APPLY_FATAL = 24,
  A_Err_LAST = 25
};

#pragma pack(pop)

#ifdef __cplusplus
}
#endif

#endif
