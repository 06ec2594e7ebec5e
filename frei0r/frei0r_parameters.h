// The effect's parameters as frei0r parameters: their order, names and
// explanations, and how a frei0r value becomes the value the host hands the
// effect.
//
// frei0r values live in [0, 1]. A slider maps linearly onto its registered
// range, min + x * (max - min), with 0 and 1 landing exactly on the bounds,
// and is then rounded to the decimals the slider shows (whole numbers, or
// hundredths for the glitch window and the filter values), so that an x
// computed from a wanted value gives that value despite floating-point
// error. A checkbox is on from 0.5. Values outside [0, 1] (ffmpeg passes
// them as typed) are clamped; NaN is refused and the previous value kept.
//
// The names and explanations are the parameter table's; the ranges,
// defaults and decimals the values are mapped with come from what the
// effect registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "hostsim/parameter_table.h"
#include "pipeline/parameter_table.h"

namespace shardcast::frei0r {

struct FilterParameter {
  ParamIndex effect_index = PARAM_INPUT;
  hostsim::ParameterKind kind = hostsim::ParameterKind::Slider;
  const char* name = "";  // the row's frei0r name
};

// In frei0r order, which is the effect's registration order of the
// value-carrying parameters. Names repeated in the effect ("seed", "breaking
// bytes", "max random value") carry their group.
inline constexpr std::array<FilterParameter, value_param_count> filter_parameters = [] {
  std::array<FilterParameter, value_param_count> parameters{};
  for (std::size_t slot = 0; slot < parameters.size(); ++slot) {
    const ParamRow& row = *value_params[slot];
    parameters[slot] = {row.index,
                        row.kind == ParamKind::Checkbox ? hostsim::ParameterKind::Checkbox
                                                        : hostsim::ParameterKind::Slider,
                        row.frei0r_name};
  }
  return parameters;
}();

// The explanation frei0r hosts show for the parameter in `slot`: its
// description, range and default as frei0r values (frei0r_explanation).
const char* explanation(std::size_t slot);

// The frei0r value as stored: clamped into [0, 1]; NaN keeps `previous`.
double stored_value(double given, double previous);
// The slider value the effect gets for the frei0r value x.
double slider_value(double x, const hostsim::ParameterInfo& slider);
bool checkbox_value(double x);
// The value handed to the host for x: a slider's value, or 1 / 0.
double effect_value(double x, const hostsim::ParameterInfo& info);
// The frei0r value that gives the registered default.
double default_value(const hostsim::ParameterInfo& info);

}  // namespace shardcast::frei0r
