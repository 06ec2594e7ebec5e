// The conversion of parameter values into GlitchSettings, field by field.
// A slider's value is first brought into the range the effect registers for
// it, as a host does with typed and keyframed values: a host may still hand
// over anything (an expression, a plug-in of its own), and the counts among
// the sliders set how many random draws a frame makes, so a value far out
// would stall the render for minutes. Every double then becomes an integer
// through truncate_to_int32 (NaN gives INT32_MIN) or a float by plain
// narrowing, so any value converts without undefined behaviour.
#include "pipeline/parameters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "decoder/numeric.h"

namespace shardcast {

double nearest_valid_value(ParamIndex index, double value) {
  const ParamRow* slider = slider_row(index);
  if (slider == nullptr || std::isnan(value)) {
    return value;
  }
  return std::clamp(value, static_cast<double>(slider->minimum), static_cast<double>(slider->maximum));
}

GlitchSettings settings_from_values(const ParamValues& values) {
  const auto value = [&values](ParamIndex index) {
    return nearest_valid_value(index, values[static_cast<std::size_t>(index)]);
  };
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
