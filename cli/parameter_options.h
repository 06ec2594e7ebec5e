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
#include "pipeline/parameters.h"

namespace shardcast::cli {

using hostsim::ParameterKind;

struct ParameterOption {
  ParamIndex index;
  const char* name;  // without the leading "--"
  ParameterKind kind;
};

inline constexpr std::array<ParameterOption, 24> parameter_options = {{
    {PARAM_COMPRESSION_RATIO, "compression-ratio", ParameterKind::Slider},
    {PARAM_BROKEN_BYTES, "broken-bytes", ParameterKind::Slider},
    {PARAM_GLITCH_START, "glitch-start", ParameterKind::Slider},
    {PARAM_GLITCH_END, "glitch-end", ParameterKind::Slider},
    {PARAM_SEED, "seed", ParameterKind::Slider},
    {PARAM_QTC, "qtc", ParameterKind::Checkbox},
    {PARAM_QTC_POSITION, "qtc-position", ParameterKind::Slider},
    {PARAM_QTC_VALUE, "qtc-value", ParameterKind::Slider},
    {PARAM_QTC_BREAKING_BYTES, "qtc-breaking-bytes", ParameterKind::Slider},
    {PARAM_QTC_MAX_RANDOM, "qtc-max-random", ParameterKind::Slider},
    {PARAM_QTC_SEED, "qtc-seed", ParameterKind::Slider},
    {PARAM_QTL, "qtl", ParameterKind::Checkbox},
    {PARAM_QTL_POSITION, "qtl-position", ParameterKind::Slider},
    {PARAM_QTL_VALUE, "qtl-value", ParameterKind::Slider},
    {PARAM_QTL_BREAKING_BYTES, "qtl-breaking-bytes", ParameterKind::Slider},
    {PARAM_QTL_MAX_RANDOM, "qtl-max-random", ParameterKind::Slider},
    {PARAM_QTL_SEED, "qtl-seed", ParameterKind::Slider},
    {PARAM_INVERSE_DCT, "inverse-dct", ParameterKind::Checkbox},
    {PARAM_YCBCR_TO_RGB, "ycbcr-to-rgb", ParameterKind::Checkbox},
    {PARAM_DEQUANTIZE, "dequantize", ParameterKind::Checkbox},
    {PARAM_FILTER1, "filter1", ParameterKind::Checkbox},
    {PARAM_FILTER1_VALUE, "filter1-value", ParameterKind::Slider},
    {PARAM_FILTER2, "filter2", ParameterKind::Checkbox},
    {PARAM_FILTER2_VALUE, "filter2-value", ParameterKind::Slider},
}};

// The parameters the decoder alone reads: the seed of the byte damage (its
// recovery draws continue that engine), the table changes and the stages.
// clang-format off
inline constexpr std::array<ParamIndex, 16> decoder_parameter_indices = {
    PARAM_SEED,         PARAM_QTC,      PARAM_QTC_POSITION,       PARAM_QTC_VALUE,
    PARAM_QTC_BREAKING_BYTES, PARAM_QTC_MAX_RANDOM, PARAM_QTC_SEED, PARAM_QTL,
    PARAM_QTL_POSITION, PARAM_QTL_VALUE, PARAM_QTL_BREAKING_BYTES, PARAM_QTL_MAX_RANDOM,
    PARAM_QTL_SEED,     PARAM_INVERSE_DCT, PARAM_YCBCR_TO_RGB,    PARAM_DEQUANTIZE};
// clang-format on

const ParameterOption* option_for_index(std::int32_t index);

// One parameter as the module registered it.
using hostsim::ParameterInfo;

// Values by parameter index, as a host would pass them.
struct ParameterValues {
  std::array<std::optional<double>, PARAM_COUNT> given{};
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
using ResolvedValues = ParamValues;
std::string resolve_values(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           ResolvedValues& values);

}  // namespace shardcast::cli
