/* Premiere's pixel-format suite for effect modules (version 1): an effect
 * announces the formats it accepts, and may ask which format a world has. */
#ifndef SHARDCAST_SDK_PRSDKAESUPPORT_H
#define SHARDCAST_SDK_PRSDKAESUPPORT_H

#include "AE_Effect.h"
#include "PrSDKPixelFormat.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 8)

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion1 1
#define kPFPixelFormatSuiteVersion kPFPixelFormatSuiteVersion1

typedef struct PF_PixelFormatSuite {
  SPAPI PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
  SPAPI PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
  SPAPI PF_Err (*NewWorldOfPixelFormat)(PF_ProgPtr effect_ref, A_u_long width, A_u_long height,
                                        PF_NewWorldFlags flags, PrPixelFormat pixelFormat,
                                        PF_EffectWorld *world);
  SPAPI PF_Err (*DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld *world);
  SPAPI PF_Err (*GetPixelFormat)(PF_EffectWorld *inWorld, PrPixelFormat *pixelFormat);
  SPAPI PF_Err (*GetBlackForPixelFormat)(PrPixelFormat pixelFormat, void *pixelData);
  SPAPI PF_Err (*GetWhiteForPixelFormat)(PrPixelFormat pixelFormat, void *pixelData);
  SPAPI PF_Err (*ConvertColorToPixelFormattedData)(PrPixelFormat pixelFormat, float alpha,
                                                   float red, float green, float blue,
                                                   void *pixelData);
} PF_PixelFormatSuite;
typedef PF_PixelFormatSuite PF_PixelFormatSuite1;

#pragma pack(pop)

#ifdef __cplusplus
}
#endif

#endif
