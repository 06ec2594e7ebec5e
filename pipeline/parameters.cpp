// The conversion of parameter values into GlitchSettings, field by field.
// Every double becomes an integer through truncate_to_int32 (NaN and values
// out of the int32 range give INT32_MIN) or a float by plain narrowing, so
// any value a host can hand over converts without undefined behaviour.
#include "pipeline/parameters.h"

#include <cstddef>

#include "decoder/numeric.h"

namespace shardcast {

GlitchSettings settings_from_values(const ParamValues& values) {
  const auto value = [&values](ParamIndex index) { return values[static_cast<std::size_t>(index)]; };
  const auto truncated = [&value](ParamIndex index) { return truncate_to_int32(value(index)); };
  const auto narrowed = [&value](ParamIndex index) { return static_cast<float>(value(index)); };
  const auto on = [&value](ParamIndex index) { return value(index) != 0.0; };

  GlitchSettings settings;
  settings.quality = truncated(PARAM_COMPRESSION_RATIO);
  settings.broken_bytes = truncated(PARAM_BROKEN_BYTES);
  settings.glitch_start = narrowed(PARAM_GLITCH_START);
  settings.glitch_end = narrowed(PARAM_GLITCH_END);
  settings.subsampling = 1;  // 4:2:2
  settings.qtl_position = truncated(PARAM_QTL_POSITION);
  settings.qtc_position = truncated(PARAM_QTC_POSITION);
  settings.qtl_value = truncated(PARAM_QTL_VALUE);
  settings.qtc_value = truncated(PARAM_QTC_VALUE);
  settings.qtc_break_count = truncated(PARAM_QTC_BREAKING_BYTES);
  settings.qtc_max_random = truncated(PARAM_QTC_MAX_RANDOM);
  settings.qtl_break_count = truncated(PARAM_QTL_BREAKING_BYTES);
  settings.qtl_max_random = truncated(PARAM_QTL_MAX_RANDOM);
  settings.qtc_seed = truncated(PARAM_QTC_SEED);
  settings.qtl_seed = truncated(PARAM_QTL_SEED);
  settings.qtl_enabled = on(PARAM_QTL);
  settings.qtc_enabled = on(PARAM_QTC);
  settings.inverse_dct = on(PARAM_INVERSE_DCT);
  settings.ycbcr_to_rgb = on(PARAM_YCBCR_TO_RGB);
  settings.dequantize = on(PARAM_DEQUANTIZE);
  settings.seed = truncated(PARAM_SEED);
  settings.filter1_enabled = on(PARAM_FILTER1);
  settings.filter2_enabled = on(PARAM_FILTER2);
  settings.filter1_value = narrowed(PARAM_FILTER1_VALUE);
  settings.filter2_value = narrowed(PARAM_FILTER2_VALUE);
  settings.seed_engines();
  return settings;
}

}  // namespace shardcast
