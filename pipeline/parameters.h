// A frame's parameter values and their one conversion into GlitchSettings.
// The parameters themselves (indices, ranges, defaults) are the rows of
// pipeline/parameter_table.h.
#pragma once

#include <array>
#include <cstdint>

#include "pipeline/glitch_settings.h"
#include "pipeline/parameter_table.h"

namespace shardcast {

// One frame's parameter values by index, as a host hands them over: a
// slider's value, a checkbox's 1 or 0 (anything but 0 is on). The input
// layer and the groups carry none.
using ParamValues = std::array<double, PARAM_COUNT>;

// Every parameter at its registered default (0 for the input layer and the
// groups), as a host starts it.
constexpr ParamValues default_values() {
  ParamValues values{};
  for (const ParamRow& row : param_table) {
    values[static_cast<std::size_t>(row.index)] = row.dephault;
  }
  return values;
}

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

// The settings of every parameter at its default; the work buffer is left
// unset and messages go to standard output.
inline GlitchSettings default_settings() { return settings_from_values(default_values()); }

}  // namespace shardcast
