/* Registration through a callback: the host calls the module's
 * PluginDataEntryFunction, which reports its identity through the callback
 * the host passes in. */
#ifndef SHARDCAST_SDK_AE_PLUGINDATA_H
#define SHARDCAST_SDK_AE_PLUGINDATA_H

#include "A.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PF_PluginData *PF_PluginDataPtr;

typedef A_Err (*PF_PluginDataCB)(PF_PluginDataPtr inPtr, const A_u_char *inNamePtr,
                                 const A_u_char *inMatchNamePtr, const A_u_char *inCategoryPtr,
                                 const A_u_char *inEntryPointNamePtr, A_long inkind,
                                 A_long inApiVersionMajor, A_long inApiVersionMinor,
                                 A_long inReservedInfo);

/* The later form adds a support URL as a tenth argument. */
typedef A_Err (*PF_PluginDataCB2)(PF_PluginDataPtr inPtr, const A_u_char *inNamePtr,
                                  const A_u_char *inMatchNamePtr, const A_u_char *inCategoryPtr,
                                  const A_u_char *inEntryPointNamePtr, A_long inkind,
                                  A_long inApiVersionMajor, A_long inApiVersionMinor,
                                  A_long inReservedInfo, const A_u_char *inSupportURLPtr);

typedef A_Err (*PluginDataEntryFunctionPtr)(PF_PluginDataPtr inPtr,
                                            PF_PluginDataCB inPluginDataCallBackPtr,
                                            SPBasicSuite *inSPBasicSuitePtr,
                                            const char *inHostName, const char *inHostVersion);

typedef A_Err (*PluginDataEntryFunctionPtr2)(PF_PluginDataPtr inPtr,
                                             PF_PluginDataCB2 inPluginDataCallBackPtr,
                                             SPBasicSuite *inSPBasicSuitePtr,
                                             const char *inHostName,
                                             const char *inHostVersion);

#ifdef __cplusplus
}
#endif

#endif
