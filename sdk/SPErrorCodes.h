/* Result codes of the basic suite. Zero is success; every other value,
 * including ones not listed here, is a failure. */
#ifndef SHARDCAST_SDK_SPERRORCODES_H
#define SHARDCAST_SDK_SPERRORCODES_H

#include "SPTypes.h"

#define kSPNoError ((SPErr)0)
#define kSPUnimplementedError ((SPErr)0x21494D50)  /* '!IMP' */
#define kSPBadParameterError ((SPErr)0x5061726D)   /* 'Parm' */
#define kSPSuiteNotFoundError ((SPErr)0x53214664)  /* 'S!Fd' */
/* The published value; its usual description as -108 does not match the hex
 * (0xFFFFFF6C is -148); the hex is kept as published. */
#define kSPOutOfMemoryError ((SPErr)0xFFFFFF6C)

#endif
