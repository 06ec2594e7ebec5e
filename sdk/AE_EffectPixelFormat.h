/* After Effects' names for pixel formats. The values equal Premiere's
 * PrPixelFormat codes for the same memory order. */
#ifndef SHARDCAST_SDK_AE_EFFECTPIXELFORMAT_H
#define SHARDCAST_SDK_AE_EFFECTPIXELFORMAT_H

#include "A.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long PF_PixelFormat;

/* Built from the characters in memory order, lowest byte first. */
enum {
  PF_PixelFormat_ARGB32 = 0x62677261, /* bytes "argb" */
  PF_PixelFormat_BGRA32 = 0x61726762  /* bytes "bgra" */
};

#ifdef __cplusplus
}
#endif

#endif
