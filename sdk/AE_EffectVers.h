/* The effect API version written into the registration resource. */
#ifndef SHARDCAST_SDK_AE_EFFECTVERS_H
#define SHARDCAST_SDK_AE_EFFECTVERS_H

#define PF_PLUG_IN_VERSION 13
#define PF_PLUG_IN_SUBVERS 28

#endif
