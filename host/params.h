// The effect's controls: the parameter indices in registration order, the
// string table most of their names come from, and the handler that registers
// them with the host.
#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace shardcast {

// Index 0 is the input layer, which the host supplies without registration;
// every registered parameter's id equals its index.
enum ParamIndex : std::int32_t {
  PARAM_INPUT = 0,
  PARAM_COMPRESSION_RATIO,
  PARAM_BROKEN_BYTES_GROUP,
  PARAM_BROKEN_BYTES,
  PARAM_GLITCH_START,
  PARAM_GLITCH_END,
  PARAM_SEED,
  PARAM_BROKEN_BYTES_GROUP_END,
  PARAM_QTC_GROUP,
  PARAM_QTC,
  PARAM_QTC_POSITION,
  PARAM_QTC_VALUE,
  PARAM_QTC_BREAKING_BYTES,
  PARAM_QTC_MAX_RANDOM,
  PARAM_QTC_SEED,
  PARAM_QTC_GROUP_END,
  PARAM_QTL_GROUP,
  PARAM_QTL,
  PARAM_QTL_POSITION,
  PARAM_QTL_VALUE,
  PARAM_QTL_BREAKING_BYTES,
  PARAM_QTL_MAX_RANDOM,
  PARAM_QTL_SEED,
  PARAM_QTL_GROUP_END,
  PARAM_ADVANCED_GROUP,
  PARAM_INVERSE_DCT,
  PARAM_YCBCR_TO_RGB,
  PARAM_DEQUANTIZE,
  PARAM_ADVANCED_GROUP_END,
  PARAM_TOOLS_GROUP,
  PARAM_FILTER1,
  PARAM_FILTER1_VALUE,
  PARAM_FILTER2,
  PARAM_FILTER2_VALUE,
  PARAM_TOOLS_GROUP_END,
  PARAM_COUNT  // 35, the input layer included: the host's num_params
};

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

struct StringTableEntry {
  std::int32_t id;
  char text[256];
};

// The text of entry `id`; callers pass only StringId constants.
const char* string_by_id(StringId id);

// PF_Cmd_PARAMS_SETUP: registers the 34 parameters in index order and sets
// num_params. The first refusal by the host ends the registration and is
// returned unchanged.
PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace shardcast
