// The effect's parameters as command-line options. The option names and
// descriptions are the parameter table's (pipeline/parameter_table.h);
// everything else about a parameter (the name the host shows, its group,
// range and default) is read from what the effect module registers, so the
// tool can never disagree with the module it loads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/parameters/animated_values.h"
#include "hostsim/parameter_table.h"
#include "pipeline/parameters.h"

namespace shardcast::cli {

using hostsim::ParameterKind;

struct ParameterOption {
  ParamIndex index = PARAM_INPUT;
  const char* name = "";  // without the leading "--"
  ParameterKind kind = ParameterKind::Slider;
  const char* description = "";  // one line, for `params` and --help
};

// Every value-carrying parameter, in registration order, as its row of the
// parameter table gives it.
inline constexpr std::array<ParameterOption, value_param_count> parameter_options = [] {
  std::array<ParameterOption, value_param_count> options{};
  for (std::size_t i = 0; i < options.size(); ++i) {
    const ParamRow& row = *value_params[i];
    options[i] = {row.index, row.option,
                  row.kind == ParamKind::Checkbox ? ParameterKind::Checkbox : ParameterKind::Slider, row.description};
  }
  return options;
}();

// The parameters the decoder alone reads: the seed of the byte damage (its
// recovery draws continue that engine), the table changes and the stages.
inline constexpr std::array<ParamIndex, count_rows(read_by_decoder)> decoder_parameter_indices = [] {
  std::array<ParamIndex, count_rows(read_by_decoder)> indices{};
  std::size_t next = 0;
  for (const ParamRow& row : param_table) {
    if (row.decoder) {
      indices[next++] = row.index;
    }
  }
  return indices;
}();

// The option of a parameter by its index or by its option name (without
// "--"); null when there is none.
const ParameterOption* option_for_index(std::int32_t index);
const ParameterOption* option_named(std::string_view name);

// One parameter as the module registered it.
using hostsim::ParameterInfo;
// The registration of the parameter at index; null when there is none.
const ParameterInfo* registered_info(const std::vector<ParameterInfo>& registered, std::int32_t index);

// "0 .. 10000" or "on/off", and the default as shown, from the registration.
std::string range_text(const ParameterInfo& info);
std::string default_text(const ParameterInfo& info);

// Values by parameter index, as given on the command line.
struct ParameterValues {
  std::array<std::optional<ValueTrack>, PARAM_COUNT> given{};
};

// The shortest decimal that reads back as the single-precision number.
std::string format_float(float value);
// The shortest decimal that reads back as the number.
std::string format_number(double value);
// Empty when value lies within the parameter's range, otherwise a message
// naming the option, the parameter and its range. A bound is held in single
// precision; the decimal it is shown as (0.1, 99.9) counts as the bound too.
std::string check_range(const ParameterInfo& info, double value);

// Every registered parameter over time: its default, or the value or keys
// given; --seed-step adds step x frame number to the broken-bytes seed.
using ResolvedValues = ParamValues;
struct AnimatedValues {
  std::array<ValueTrack, PARAM_COUNT> tracks{};
  std::int64_t seed_step = 0;

  // True when the parameter's value changes from frame to frame.
  bool animated(std::int32_t index) const;
  double at(std::int32_t index, double frame) const;
  ResolvedValues at_frame(std::int64_t frame) const;
};

// Every registered parameter at its default, overridden by the values given;
// empty on success, otherwise the first refusal (a key out of range, or an
// option for a parameter the module does not register).
std::string resolve_tracks(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           AnimatedValues& values);
// The same for a command that takes one value per parameter: keys are
// refused.
std::string resolve_values(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           ResolvedValues& values);

}  // namespace shardcast::cli
