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
// Ranges, defaults and decimals come from what the effect registers; only
// the names and the explanations are this file's own.
#pragma once

#include <array>
#include <cstdint>

#include "hostsim/parameter_table.h"
#include "pipeline/parameters.h"

namespace shardcast::frei0r {

struct FilterParameter {
  ParamIndex effect_index;
  hostsim::ParameterKind kind;
  const char* name;
  const char* explanation;
};

// In frei0r order, which is the effect's registration order. Names repeated
// in the effect ("seed", "breaking bytes", "max random value") carry their
// group.
inline constexpr std::array<FilterParameter, 24> filter_parameters = {{
    {PARAM_COMPRESSION_RATIO, hostsim::ParameterKind::Slider, "Compression ratio",
     "JPEG quality 1 to 100 (1 + 99x, whole numbers); default 1 = 100"},
    {PARAM_BROKEN_BYTES, hostsim::ParameterKind::Slider, "Broken bytes",
     "bytes of scan data overwritten, 0 to 10000 (10000x, whole numbers); default 0"},
    {PARAM_GLITCH_START, hostsim::ParameterKind::Slider, "start of glitch",
     "start of the damaged window in percent of the scan data, 0 to 99.9 (99.9x, hundredths); default 0"},
    {PARAM_GLITCH_END, hostsim::ParameterKind::Slider, "end of glitch",
     "end of the damaged window in percent of the scan data, 0.1 to 100 (0.1 + 99.9x, hundredths); "
     "default 1 = 100"},
    {PARAM_SEED, hostsim::ParameterKind::Slider, "broken bytes seed",
     "seed of the byte damage and of the decoder's recovery, 1 to 100000000 (1 + 99999999x, whole numbers); "
     "default 0 = 1"},
    {PARAM_QTC, hostsim::ParameterKind::Checkbox, "QTC",
     "overwrite entries of the chroma quantisation table; default off"},
    {PARAM_QTC_POSITION, hostsim::ParameterKind::Slider, "QTC position",
     "chroma table entry overwritten, 1 to 64 (1 + 63x, whole numbers); default 4/63 = 5"},
    {PARAM_QTC_VALUE, hostsim::ParameterKind::Slider, "QTC value",
     "value written into that chroma entry, 0 to 255 (255x, whole numbers); default 0"},
    {PARAM_QTC_BREAKING_BYTES, hostsim::ParameterKind::Slider, "chroma breaking bytes",
     "chroma table entries given random values, 0 to 64 (64x, whole numbers); default 0"},
    {PARAM_QTC_MAX_RANDOM, hostsim::ParameterKind::Slider, "chroma max random value",
     "largest random chroma table value, 0 to 255 (255x, whole numbers); default 0"},
    {PARAM_QTC_SEED, hostsim::ParameterKind::Slider, "chroma seed",
     "seed of the chroma table changes, 1 to 100000000 (1 + 99999999x, whole numbers); default 0 = 1"},
    {PARAM_QTL, hostsim::ParameterKind::Checkbox, "QTL",
     "overwrite entries of the luma quantisation table; default off"},
    {PARAM_QTL_POSITION, hostsim::ParameterKind::Slider, "QTL position",
     "luma table entry overwritten, 1 to 64 (1 + 63x, whole numbers); default 4/63 = 5"},
    {PARAM_QTL_VALUE, hostsim::ParameterKind::Slider, "QTL value",
     "value written into that luma entry, 0 to 255 (255x, whole numbers); default 0"},
    {PARAM_QTL_BREAKING_BYTES, hostsim::ParameterKind::Slider, "luma breaking bytes",
     "luma table entries given random values, 0 to 64 (64x, whole numbers); default 0"},
    {PARAM_QTL_MAX_RANDOM, hostsim::ParameterKind::Slider, "luma max random value",
     "largest random luma table value, 0 to 255 (255x, whole numbers); default 0"},
    {PARAM_QTL_SEED, hostsim::ParameterKind::Slider, "luma seed",
     "seed of the luma table changes, 1 to 100000000 (1 + 99999999x, whole numbers); default 0 = 1"},
    {PARAM_INVERSE_DCT, hostsim::ParameterKind::Checkbox, "Inverse DCT",
     "run the decoder's inverse DCT (off shows coefficients as colours); default on"},
    {PARAM_YCBCR_TO_RGB, hostsim::ParameterKind::Checkbox, "YCbCrToRGB",
     "convert the decoded YCbCr samples to RGB (off shows them raw); default on"},
    {PARAM_DEQUANTIZE, hostsim::ParameterKind::Checkbox, "Dequantize",
     "dequantise the decoded coefficients; default on"},
    {PARAM_FILTER1, hostsim::ParameterKind::Checkbox, "filter 1", "run convolution filter 1 (wrapping); default off"},
    {PARAM_FILTER1_VALUE, hostsim::ParameterKind::Slider, "filter 1 value",
     "weight of filter 1, -10 to 10 (-10 + 20x, hundredths); default 0.55 = 1"},
    {PARAM_FILTER2, hostsim::ParameterKind::Checkbox, "filter 2",
     "run convolution filter 2 (saturating, after filter 1); default off"},
    {PARAM_FILTER2_VALUE, hostsim::ParameterKind::Slider, "filter 2 value",
     "weight of filter 2, -10 to 10 (-10 + 20x, hundredths); default 0.495 = -0.1"},
}};

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
