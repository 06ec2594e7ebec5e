// The handlers of the commands EffectMain answers. Each returns the host
// error code of its command; a missing suite is thrown as a plain A_long
// (see suites.h) and returned by EffectMain.
#pragma once

#include "AE_Effect.h"

namespace shardcast {

// PF_InData's appl_id in Premiere Pro, where some commands answer differently.
constexpr A_long premiere_pro_app_id = 'PrMr';

// PF_Cmd_ABOUT: "<name> v<major>.<minor>\r<description>" into return_msg.
PF_Err show_about(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// PF_Cmd_GLOBAL_SETUP: version and flags; in Premiere Pro, 8-bit BGRA as the
// only pixel format.
PF_Err global_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// PF_Cmd_USER_CHANGED_PARAM and PF_Cmd_UPDATE_PARAMS_UI: keeps "end of
// glitch" after "start of glitch".
PF_Err supervise_glitch_range(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], void* extra);

// PF_Cmd_RENDER: one frame through the glitch pipeline.
PF_Err render_frame(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace shardcast
