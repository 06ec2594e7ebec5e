// The effect as the video filters run it: one simulated host with the
// effect linked in, set up once (global and parameter setup), and a render
// of a caller's RGBA frame with one value per value-carrying parameter. The
// frei0r filter and the MLT filter both render through it, so a frame is
// the one `shardcast render` makes with the same values.
//
// A session is used by one thread at a time; sessions share nothing, so
// several may render at once on different threads.
//
// Refused: a module that fails its setup or does not register every
// parameter of the table with the kind the table gives it (open() gives
// null). A render the host would not accept (an error code, or a breach of
// its rules) returns false, the input untouched and the output holding no
// frame; a video tool cannot hear of the failure, so the callers pass the
// input through.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"
#include "pipeline/parameter_table.h"

namespace shardcast::filters {

// The values of one frame, in the table's order of value_params: a
// slider's value as the host would hand it, a checkbox 1 or 0.
using EffectValues = std::array<double, value_param_count>;

struct EffectSession {
  hostsim::SimulatedHost host;
  // What the effect registers behind each slot of EffectValues.
  std::array<hostsim::ParameterInfo, value_param_count> registered{};
  // A frame rendered in place goes through here, so that a failed render
  // leaves the input as it was; kept for the next frame.
  std::vector<std::uint8_t> in_place;

  EffectSession();

  // Null when the effect does not set itself up as the table describes.
  static std::unique_ptr<EffectSession> open();

  // Renders width x height RGBA pixels from `input` into `output` (which
  // may be `input`) at the host time `time`.
  bool render(const EffectValues& values, A_long width, A_long height, const std::uint8_t* input, std::uint8_t* output,
              hostsim::FrameTime time = {});
};

}  // namespace shardcast::filters
