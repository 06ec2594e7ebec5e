// Setting up the effect behind a video filter and rendering one frame
// through it.
#include "frei0r/effect_session.h"

#include <algorithm>
#include <cstring>

#include "host/entry_points.h"

namespace shardcast::filters {
namespace {

hostsim::ParameterKind kind_of(const ParamRow& row) {
  return row.kind == ParamKind::Checkbox ? hostsim::ParameterKind::Checkbox : hostsim::ParameterKind::Slider;
}

}  // namespace

// The filters render what users asked for; the host's own pixel checks
// cost a pass over every frame and are for the tests.
EffectSession::EffectSession()
    : host(hostsim::EffectEntryPoints{&EffectMain, &PluginDataEntryFunction},
           hostsim::HostOptions{.pixel_checks = false}) {}

std::unique_ptr<EffectSession> EffectSession::open() {
  auto session = std::make_unique<EffectSession>();
  if (!hostsim::command_failure("global setup", session->host.global_setup()).empty() ||
      !hostsim::command_failure("parameter setup", session->host.params_setup()).empty()) {
    return nullptr;
  }
  const std::vector<hostsim::ParameterInfo> registered = hostsim::registered_parameters(session->host);
  for (std::size_t slot = 0; slot < value_param_count; ++slot) {
    const ParamRow& row = *value_params[slot];
    const auto found = std::find_if(registered.begin(), registered.end(),
                                    [&](const hostsim::ParameterInfo& info) { return info.index == row.index; });
    if (found == registered.end() || found->kind != kind_of(row)) {
      return nullptr;
    }
    session->registered[slot] = *found;
  }
  return session;
}

bool EffectSession::render(const EffectValues& values, A_long width, A_long height, const std::uint8_t* input,
                           std::uint8_t* output, hostsim::FrameTime time) {
  for (std::size_t slot = 0; slot < value_param_count; ++slot) {
    hostsim::set_parameter_value(host, registered[slot], values[slot]);
  }
  const std::size_t frame_bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  std::uint8_t* target = output;
  if (input == output) {
    in_place.resize(frame_bytes);
    target = in_place.data();
  }
  const hostsim::FrameRows rows{width, height, hostsim::PixelOrder::Rgba, input, target};
  if (!hostsim::command_failure("render", host.render(rows, time)).empty()) {
    return false;
  }
  if (target != output) {
    std::memcpy(output, target, frame_bytes);
  }
  return true;
}

}  // namespace shardcast::filters
