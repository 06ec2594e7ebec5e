/* Helper constants for registering parameters. */
#ifndef SHARDCAST_SDK_PARAM_UTILS_H
#define SHARDCAST_SDK_PARAM_UTILS_H

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Decimal places a slider shows. */
enum {
  PF_Precision_INTEGER,
  PF_Precision_TENTHS,
  PF_Precision_HUNDREDTHS,
  PF_Precision_THOUSANDTHS,
  PF_Precision_TEN_THOUSANDTHS
};

#define PF_ParamFlag_NONE 0

#ifdef __cplusplus
}
#endif

#endif
