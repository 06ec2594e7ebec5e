// shardcast.so, the effect as a frei0r filter (API version 1) for ffmpeg and
// the MLT-based editors. Every frame goes through the effect's own command
// entry point, driven by the simulated host exactly as `shardcast render`
// drives it: the same parameter values, the same render command with its
// work-buffer widening and host copies, linked into this library.
//
// Each instance owns one simulated host, set up once (global and parameter
// setup), and its frei0r values; nothing else is kept and nothing is shared,
// so instances may run at the same time on different threads. Frames are
// RGBA8888 of the size given to f0r_construct, converted to and from the
// host's A, R, G, B layout around the render.
//
// Tolerated: any frame size the host accepts, values outside [0, 1], a null
// instance or frame (nothing is done). A render the host would not accept
// (an error code, or a breach of its rules) passes the input frame through
// unchanged: a video tool has no way to hear of the failure, and an
// untouched frame is the least surprising answer. No exception leaves this
// file.
//
// The decoder's lines go nowhere unless SHARDCAST_FREI0R_MESSAGES is
// "stderr" (or "stdout"): inside ffmpeg standard output may carry the video
// (frei0r_messages.cpp).

// The header declares the API without C linkage of its own; its functions
// are the library's only visible symbols (everything else is hidden).
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "frei0r/frei0r_parameters.h"
#include "host/entry_points.h"
#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"

namespace shardcast::frei0r {
namespace {

constexpr int parameter_count = static_cast<int>(filter_parameters.size());

struct Instance {
  A_long width = 0;
  A_long height = 0;
  hostsim::SimulatedHost host;
  // The registered parameter behind each frei0r parameter.
  std::array<hostsim::ParameterInfo, filter_parameters.size()> registered{};
  std::array<double, filter_parameters.size()> values{};

  Instance(A_long frame_width, A_long frame_height)
      : width(frame_width),
        height(frame_height),
        host(hostsim::EffectEntryPoints{&EffectMain, &PluginDataEntryFunction},
             hostsim::HostOptions{.pixel_checks = false}) {}
};

// Empty unless the effect set itself up and registers every parameter this
// filter shows, with the kind it is shown as.
std::unique_ptr<Instance> make_instance(A_long width, A_long height) {
  auto instance = std::make_unique<Instance>(width, height);
  hostsim::SimulatedHost& host = instance->host;
  if (!hostsim::command_failure("global setup", host.global_setup()).empty() ||
      !hostsim::command_failure("parameter setup", host.params_setup()).empty()) {
    return nullptr;
  }
  const std::vector<hostsim::ParameterInfo> registered = hostsim::registered_parameters(host);
  for (std::size_t slot = 0; slot < filter_parameters.size(); ++slot) {
    const FilterParameter& parameter = filter_parameters[slot];
    const auto found = std::find_if(registered.begin(), registered.end(), [&](const hostsim::ParameterInfo& info) {
      return info.index == parameter.effect_index;
    });
    if (found == registered.end() || found->kind != parameter.kind) {
      return nullptr;
    }
    instance->registered[slot] = *found;
    instance->values[slot] = default_value(*found);
  }
  return instance;
}

// The result goes straight into outframe; a frame rendered in place goes
// through a copy, so that a failed render leaves the input as it was.
bool render(Instance& instance, const std::uint32_t* inframe, std::uint32_t* outframe) {
  for (std::size_t slot = 0; slot < filter_parameters.size(); ++slot) {
    const hostsim::ParameterInfo& info = instance.registered[slot];
    hostsim::set_parameter_value(instance.host, info, effect_value(instance.values[slot], info));
  }
  const std::size_t frame_bytes =
      static_cast<std::size_t>(instance.width) * static_cast<std::size_t>(instance.height) * 4;
  std::vector<std::uint8_t> in_place;
  auto* output = reinterpret_cast<std::uint8_t*>(outframe);
  if (inframe == outframe) {
    in_place.resize(frame_bytes);
    output = in_place.data();
  }
  const hostsim::FrameRows rows{instance.width, instance.height, hostsim::PixelOrder::Rgba,
                                reinterpret_cast<const std::uint8_t*>(inframe), output};
  if (!hostsim::command_failure("render", instance.host.render(rows)).empty()) {
    return false;
  }
  if (!in_place.empty()) {
    std::memcpy(outframe, in_place.data(), frame_bytes);
  }
  return true;
}

}  // namespace
}  // namespace shardcast::frei0r

using shardcast::frei0r::filter_parameters;
using shardcast::frei0r::Instance;

extern "C" {

int f0r_init() { return 1; }

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) {
    return;
  }
  info->name = "shardcast";
  info->author = "Korvane";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = SHARDCAST_VERSION_MAJOR;
  info->minor_version = SHARDCAST_VERSION_MINOR;
  info->num_params = shardcast::frei0r::parameter_count;
  info->explanation =
      "Damaged-JPEG glitches: compresses each frame, overwrites bytes of the compressed data and decodes it "
      "with a decoder that never gives up";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (info == nullptr || param_index < 0 || param_index >= shardcast::frei0r::parameter_count) {
    return;
  }
  const auto& parameter = filter_parameters[static_cast<std::size_t>(param_index)];
  info->name = parameter.name;
  info->type = parameter.kind == shardcast::hostsim::ParameterKind::Checkbox ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
  info->explanation = shardcast::frei0r::explanation(static_cast<std::size_t>(param_index));
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  // The host's worlds are at most 30000 pixels each way; larger frames are refused here.
  if (width == 0 || height == 0 || width > 30000 || height > 30000) {
    return nullptr;
  }
  try {
    return shardcast::frei0r::make_instance(static_cast<A_long>(width), static_cast<A_long>(height)).release();
  } catch (...) {
    return nullptr;
  }
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr || param == nullptr || param_index < 0 || param_index >= shardcast::frei0r::parameter_count) {
    return;
  }
  double& value = static_cast<Instance*>(instance)->values[static_cast<std::size_t>(param_index)];
  value = shardcast::frei0r::stored_value(*static_cast<const double*>(param), value);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr || param == nullptr || param_index < 0 || param_index >= shardcast::frei0r::parameter_count) {
    return;
  }
  *static_cast<double*>(param) = static_cast<Instance*>(instance)->values[static_cast<std::size_t>(param_index)];
}

void f0r_update(f0r_instance_t instance, double /*time*/, const uint32_t* inframe, uint32_t* outframe) {
  if (instance == nullptr || inframe == nullptr || outframe == nullptr) {
    return;
  }
  auto& filter = *static_cast<Instance*>(instance);
  bool rendered = false;
  try {
    rendered = shardcast::frei0r::render(filter, inframe, outframe);
  } catch (...) {
    rendered = false;
  }
  if (!rendered && inframe != outframe) {
    std::memmove(outframe, inframe,
                 static_cast<std::size_t>(filter.width) * static_cast<std::size_t>(filter.height) * 4);
  }
}

}  // extern "C"
