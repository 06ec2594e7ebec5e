// The effect's parameters as command-line options. The option names are the
// tool's own, fixed by parameter index; everything else about a parameter
// (the name the host shows, its group, range and default) is read from what
// the effect module registers, so the tool can never disagree with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/parameter_table.h"

namespace shardcast::cli {

using hostsim::ParameterKind;

struct ParameterOption {
  std::int32_t index;
  const char* name;  // without the leading "--"
  ParameterKind kind;
};

inline constexpr std::int32_t parameter_count = 35;  // the input layer included

inline constexpr std::int32_t seed_index = 6;
inline constexpr std::int32_t glitch_start_index = 4;
inline constexpr std::int32_t glitch_end_index = 5;

inline constexpr std::array<ParameterOption, 24> parameter_options = {{
    {1, "compression-ratio", ParameterKind::Slider},
    {3, "broken-bytes", ParameterKind::Slider},
    {4, "glitch-start", ParameterKind::Slider},
    {5, "glitch-end", ParameterKind::Slider},
    {6, "seed", ParameterKind::Slider},
    {9, "qtc", ParameterKind::Checkbox},
    {10, "qtc-position", ParameterKind::Slider},
    {11, "qtc-value", ParameterKind::Slider},
    {12, "qtc-breaking-bytes", ParameterKind::Slider},
    {13, "qtc-max-random", ParameterKind::Slider},
    {14, "qtc-seed", ParameterKind::Slider},
    {17, "qtl", ParameterKind::Checkbox},
    {18, "qtl-position", ParameterKind::Slider},
    {19, "qtl-value", ParameterKind::Slider},
    {20, "qtl-breaking-bytes", ParameterKind::Slider},
    {21, "qtl-max-random", ParameterKind::Slider},
    {22, "qtl-seed", ParameterKind::Slider},
    {25, "inverse-dct", ParameterKind::Checkbox},
    {26, "ycbcr-to-rgb", ParameterKind::Checkbox},
    {27, "dequantize", ParameterKind::Checkbox},
    {30, "filter1", ParameterKind::Checkbox},
    {31, "filter1-value", ParameterKind::Slider},
    {32, "filter2", ParameterKind::Checkbox},
    {33, "filter2-value", ParameterKind::Slider},
}};

// The parameters the decoder alone reads: the seed of the byte damage (its
// recovery draws continue that engine), the table changes and the stages.
inline constexpr std::array<std::int32_t, 16> decoder_parameter_indices = {6,  9,  10, 11, 12, 13, 14, 17,
                                                                           18, 19, 20, 21, 22, 25, 26, 27};

const ParameterOption* option_for_index(std::int32_t index);

// One parameter as the module registered it.
using hostsim::ParameterInfo;

// Values by parameter index, as a host would pass them.
struct ParameterValues {
  std::array<std::optional<double>, parameter_count> given{};
};

// "on"/"off", "1"/"0", "true"/"false" (any letter case) into 1 or 0.
bool parse_checkbox(const std::string& text, double& value);
// The shortest decimal that reads back as the single-precision number.
std::string format_float(float value);
// Empty when value lies within the parameter's range, otherwise a message
// naming the option, the parameter and its range. A bound is held in single
// precision; the decimal it is shown as (0.1, 99.9) counts as the bound too.
std::string check_range(const ParameterInfo& info, double value);

// Every registered parameter at its default, overridden by the values given;
// empty on success, otherwise the first refusal (a value out of range, or an
// option for a parameter the module does not register).
using ResolvedValues = std::array<double, parameter_count>;
std::string resolve_values(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           ResolvedValues& values);

}  // namespace shardcast::cli
