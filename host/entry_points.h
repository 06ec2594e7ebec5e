// The module's two exported entry points, as the host calls them: the
// registration call and the command entry. Programs that run the effect in
// their own process (the frei0r filter, the effect fuzzer, the
// failing-allocator test) call them through this header too.
#pragma once

#include "AE_Effect.h"
#include "AE_PluginData.h"
#include "SPBasic.h"
#include "entry.h"

extern "C" DllExport PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                                    SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                                    const char* inHostVersion);

extern "C" DllExport PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                       PF_LayerDef* output, void* extra);
