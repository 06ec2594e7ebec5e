// The effect's controls as the host sees them: the string table most of
// their names come from and the handler that registers them. Their indices
// and slider ranges are the pipeline's (pipeline/parameters.h).
#pragma once

#include <cstdint>

#include "AE_Effect.h"
#include "pipeline/parameters.h"

namespace shardcast {

// Ids of the string table; the position of an entry is its id.
enum StringId : std::int32_t {
  STR_NONE = 0,
  STR_NAME,
  STR_DESCRIPTION,
  STR_COMPRESSION_RATIO,
  STR_BROKEN_BYTES,
  STR_SUBSAMPLING,
  STR_QTL_POSITION,
  STR_QTC_POSITION,
  STR_QTL_VALUE,
  STR_QTC_VALUE,
  STR_QTL,
  STR_QTC,
  STR_INVERSE_DCT,
  STR_YCBCR_TO_RGB,
  STR_DEQUANTIZE,
  STR_CHANNEL_OVERLOADING,
  STR_RED,
  STR_GREEN,
  STR_BLUE,
  STR_ITERATIONS,
  STR_SEED,
  STR_FILTER1,
  STR_FILTER2,
  STR_FILTER1_VALUE,
  STR_FILTER2_VALUE,
  STR_GLITCH_START,
  STR_GLITCH_END,
  STR_QTC_BREAKING_BYTES,
  STR_QTC_MAX_RANDOM,
  STR_QTL_BREAKING_BYTES,
  STR_QTL_MAX_RANDOM,
  STR_COUNT  // 31
};

// The text of entry `id`; callers pass only StringId constants.
const char* string_by_id(StringId id);

// PF_Cmd_PARAMS_SETUP: registers the 34 parameters in index order and sets
// num_params. The first refusal by the host ends the registration and is
// returned unchanged.
PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace shardcast
