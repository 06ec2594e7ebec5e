// shardcast.so, the effect as a frei0r filter (API version 1) for ffmpeg and
// the MLT-based editors. Every frame goes through the effect's own command
// entry point, driven by the simulated host exactly as `shardcast render`
// drives it: the same parameter values, the same render command with its
// work-buffer widening and host copies, linked into this library.
//
// Each instance owns one effect session (effect_session.h: a simulated
// host, set up once) and its frei0r values; nothing else is kept and nothing
// is shared, so instances may run at the same time on different threads.
// Frames are
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

#include <array>
#include <cstring>
#include <memory>

#include "frei0r/effect_session.h"
#include "frei0r/frei0r_parameters.h"

namespace shardcast::frei0r {
namespace {

constexpr int parameter_count = static_cast<int>(filter_parameters.size());
static_assert(filter_parameters.size() == value_param_count, "frei0r slots are the table's values");

struct Instance {
  A_long width = 0;
  A_long height = 0;
  std::unique_ptr<filters::EffectSession> session;
  std::array<double, filter_parameters.size()> values{};  // as frei0r values
};

// Empty unless the effect set itself up as the parameter table says.
std::unique_ptr<Instance> make_instance(A_long width, A_long height) {
  auto instance = std::make_unique<Instance>();
  instance->width = width;
  instance->height = height;
  instance->session = filters::EffectSession::open();
  if (instance->session == nullptr) {
    return nullptr;
  }
  for (std::size_t slot = 0; slot < filter_parameters.size(); ++slot) {
    instance->values[slot] = default_value(instance->session->registered[slot]);
  }
  return instance;
}

bool render(Instance& instance, const std::uint32_t* inframe, std::uint32_t* outframe) {
  filters::EffectValues values{};
  for (std::size_t slot = 0; slot < filter_parameters.size(); ++slot) {
    values[slot] = effect_value(instance.values[slot], instance.session->registered[slot]);
  }
  return instance.session->render(values, instance.width, instance.height,
                                  reinterpret_cast<const std::uint8_t*>(inframe),
                                  reinterpret_cast<std::uint8_t*>(outframe));
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
