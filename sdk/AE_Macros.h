/* Small helpers around the host's records. */
#ifndef SHARDCAST_SDK_AE_MACROS_H
#define SHARDCAST_SDK_AE_MACROS_H

#include <string.h>

/* Zeroes a whole record before its members are set. */
#define AEFX_CLR_STRUCT(STRUCT) memset(&(STRUCT), 0, sizeof(STRUCT))

#endif
