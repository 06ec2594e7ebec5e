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

#include "cli/animated_values.h"
#include "hostsim/parameter_table.h"
#include "pipeline/parameters.h"

namespace shardcast::cli {

using hostsim::ParameterKind;

struct ParameterOption {
  ParamIndex index;
  const char* name;  // without the leading "--"
  ParameterKind kind;
  const char* description;  // one line, for `params` and --help
};

inline constexpr std::array<ParameterOption, 24> parameter_options = {{
    {PARAM_COMPRESSION_RATIO, "compression-ratio", ParameterKind::Slider,
     "JPEG quality of the compression the damage is done to"},
    {PARAM_BROKEN_BYTES, "broken-bytes", ParameterKind::Slider,
     "how many bytes of the compressed scan data are overwritten"},
    {PARAM_GLITCH_START, "glitch-start", ParameterKind::Slider,
     "where in the scan data the damage may begin, in percent"},
    {PARAM_GLITCH_END, "glitch-end", ParameterKind::Slider, "where in the scan data the damage ends, in percent"},
    {PARAM_SEED, "seed", ParameterKind::Slider, "seed of the damaged bytes and of the decoder's repairs"},
    {PARAM_QTC, "qtc", ParameterKind::Checkbox, "change the chroma quantisation table"},
    {PARAM_QTC_POSITION, "qtc-position", ParameterKind::Slider,
     "the chroma table entry --qtc-value replaces (1 is DC)"},
    {PARAM_QTC_VALUE, "qtc-value", ParameterKind::Slider, "the value written into that chroma table entry"},
    {PARAM_QTC_BREAKING_BYTES, "qtc-breaking-bytes", ParameterKind::Slider,
     "how many chroma table entries get random values"},
    {PARAM_QTC_MAX_RANDOM, "qtc-max-random", ParameterKind::Slider, "largest random value for the chroma table"},
    {PARAM_QTC_SEED, "qtc-seed", ParameterKind::Slider, "seed of the chroma table's random entries"},
    {PARAM_QTL, "qtl", ParameterKind::Checkbox, "change the luma quantisation table"},
    {PARAM_QTL_POSITION, "qtl-position", ParameterKind::Slider, "the luma table entry --qtl-value replaces (1 is DC)"},
    {PARAM_QTL_VALUE, "qtl-value", ParameterKind::Slider, "the value written into that luma table entry"},
    {PARAM_QTL_BREAKING_BYTES, "qtl-breaking-bytes", ParameterKind::Slider,
     "how many luma table entries get random values"},
    {PARAM_QTL_MAX_RANDOM, "qtl-max-random", ParameterKind::Slider, "largest random value for the luma table"},
    {PARAM_QTL_SEED, "qtl-seed", ParameterKind::Slider, "seed of the luma table's random entries"},
    {PARAM_INVERSE_DCT, "inverse-dct", ParameterKind::Checkbox,
     "run the inverse DCT (off: coefficients show as colours)"},
    {PARAM_YCBCR_TO_RGB, "ycbcr-to-rgb", ParameterKind::Checkbox, "convert YCbCr to RGB (off: the raw samples show)"},
    {PARAM_DEQUANTIZE, "dequantize", ParameterKind::Checkbox, "scale coefficients by the quantisation tables"},
    {PARAM_FILTER1, "filter1", ParameterKind::Checkbox, "run convolution filter 1 over the result (wraps around)"},
    {PARAM_FILTER1_VALUE, "filter1-value", ParameterKind::Slider, "weight of filter 1"},
    {PARAM_FILTER2, "filter2", ParameterKind::Checkbox, "run convolution filter 2 after filter 1 (saturates)"},
    {PARAM_FILTER2_VALUE, "filter2-value", ParameterKind::Slider, "weight of filter 2"},
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
