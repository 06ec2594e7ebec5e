/* The C-library table as a suite, and the pixel-format suite's After Effects
 * form (version 2). */
#ifndef SHARDCAST_SDK_AE_EFFECTCBSUITES_H
#define SHARDCAST_SDK_AE_EFFECTCBSUITES_H

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 8)

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1

/* The same nineteen entries as PF_ANSICallbacks, without the trailing
 * ansi_procs. */
typedef struct PF_ANSICallbacksSuite1 {
  SPAPI A_FpLong (*atan)(A_FpLong);
  SPAPI A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
  SPAPI A_FpLong (*ceil)(A_FpLong);
  SPAPI A_FpLong (*cos)(A_FpLong);
  SPAPI A_FpLong (*exp)(A_FpLong);
  SPAPI A_FpLong (*fabs)(A_FpLong);
  SPAPI A_FpLong (*floor)(A_FpLong);
  SPAPI A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
  SPAPI A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
  SPAPI A_FpLong (*log)(A_FpLong);
  SPAPI A_FpLong (*log10)(A_FpLong);
  SPAPI A_FpLong (*pow)(A_FpLong x, A_FpLong y);
  SPAPI A_FpLong (*sin)(A_FpLong);
  SPAPI A_FpLong (*sqrt)(A_FpLong);
  SPAPI A_FpLong (*tan)(A_FpLong);
  SPAPI int (*sprintf)(A_char *, const A_char *, ...);
  SPAPI A_char *(*strcpy)(A_char *, const A_char *);
  SPAPI A_FpLong (*asin)(A_FpLong);
  SPAPI A_FpLong (*acos)(A_FpLong);
} PF_ANSICallbacksSuite1;

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion2 2

typedef struct PF_PixelFormatSuite2 {
  SPAPI PF_Err (*PF_AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PF_PixelFormat pixel_format);
  SPAPI PF_Err (*PF_ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
} PF_PixelFormatSuite2;

#pragma pack(pop)

#ifdef __cplusplus
}
#endif

#endif
