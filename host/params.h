// The effect's controls as the host sees them: the string table most of
// their names come from and the handler that registers them. Everything
// about each parameter is a row of pipeline/parameter_table.h.
#pragma once

#include <cstdint>

#include "AE_Effect.h"
#include "pipeline/parameter_table.h"

namespace shardcast {

// The text of entry `id`; callers pass only StringId constants.
const char* string_by_id(StringId id);

// PF_Cmd_PARAMS_SETUP: registers the 34 parameters in index order and sets
// num_params. The first refusal by the host ends the registration and is
// returned unchanged.
PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace shardcast
