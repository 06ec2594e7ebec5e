// The effect's parameters as everything below the host's interface knows
// them: their indices in registration order, the range each slider accepts,
// and the one conversion of a frame's parameter values into GlitchSettings.
// Nothing here needs the host's headers, so the registration, the render
// and the tools all take these facts from here.
#pragma once

#include <array>
#include <cstdint>

#include "pipeline/glitch_settings.h"

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

// The range a float slider accepts (its valid range, which is also the
// range the slider shows), in the single precision it is registered in.
struct SliderRange {
  ParamIndex index;
  float minimum;
  float maximum;
};

inline constexpr float seed_maximum = 100000000.0f;

inline constexpr std::array<SliderRange, 17> slider_ranges{{
    {PARAM_COMPRESSION_RATIO, 1.0f, 100.0f},
    {PARAM_BROKEN_BYTES, 0.0f, 10000.0f},
    {PARAM_GLITCH_START, 0.0f, 99.9f},
    {PARAM_GLITCH_END, 0.1f, 100.0f},
    {PARAM_SEED, 1.0f, seed_maximum},
    {PARAM_QTC_POSITION, 1.0f, 64.0f},
    {PARAM_QTC_VALUE, 0.0f, 255.0f},
    {PARAM_QTC_BREAKING_BYTES, 0.0f, 64.0f},
    {PARAM_QTC_MAX_RANDOM, 0.0f, 255.0f},
    {PARAM_QTC_SEED, 1.0f, seed_maximum},
    {PARAM_QTL_POSITION, 1.0f, 64.0f},
    {PARAM_QTL_VALUE, 0.0f, 255.0f},
    {PARAM_QTL_BREAKING_BYTES, 0.0f, 64.0f},
    {PARAM_QTL_MAX_RANDOM, 0.0f, 255.0f},
    {PARAM_QTL_SEED, 1.0f, seed_maximum},
    {PARAM_FILTER1_VALUE, -10.0f, 10.0f},
    {PARAM_FILTER2_VALUE, -10.0f, 10.0f},
}};

// The range of the slider at `index`; null for every other parameter.
constexpr const SliderRange* slider_range(ParamIndex index) {
  for (const SliderRange& range : slider_ranges) {
    if (range.index == index) {
      return &range;
    }
  }
  return nullptr;
}

// One frame's parameter values by index, as a host hands them over: a
// slider's value, a checkbox's 1 or 0 (anything but 0 is on). The input
// layer and the groups carry none.
using ParamValues = std::array<double, PARAM_COUNT>;

// The value the effect works with for a slider's value: the value itself
// inside the registered range (bounds included, exactly as registered in
// single precision), the nearest bound outside it, infinities included. NaN
// has no nearest bound and is passed on; it truncates to INT32_MIN, which
// switches off whatever it counts. Values of other parameters are passed on.
double nearest_valid_value(ParamIndex index, double value);

// The settings these values give: slider values brought into their ranges
// (nearest_valid_value), then integers truncated toward zero, floats
// narrowed to single precision, checkboxes on when not 0, subsampling
// 4:2:2, and the three engines seeded from their seeds. The work buffer
// (pixels, width, height) is left unset.
GlitchSettings settings_from_values(const ParamValues& values);

}  // namespace shardcast
