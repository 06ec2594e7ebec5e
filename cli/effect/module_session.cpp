// The effect module behind the simulated host: loading, setup, the
// parameter table it registers, supervision and frames.
//
// The module is set up once per run, as a host does when the effect is
// applied; each frame then sets every registered value and sends one render
// command. A command that returns an error, or breaks the host's accounting
// (a record not checked in, a world not disposed of, a suite not released),
// fails the frame: what users render must be what a host would accept.
#include "cli/effect/module_session.h"

#include <cstdlib>
#include <exception>

#include "cli/system/platform.h"
#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"

namespace shardcast::cli {
using hostsim::command_failure;

ModuleLocation find_module(const std::string& option_path) {
  const ModuleLayout layout{SHARDCAST_MODULE_FILE_NAME, SHARDCAST_INSTALLED_MODULE_DIR, SHARDCAST_BUILD_TOOL_DIR,
                            SHARDCAST_BUILD_MODULE_PATH};
  const char* variable = std::getenv("SHARDCAST_MODULE");
  return find_module(layout, option_path, variable != nullptr ? variable : "", executable_path());
}

struct ModuleSession::State {
  std::unique_ptr<hostsim::SimulatedHost> host;
  std::vector<ParameterInfo> parameters;
  FrameRate rate;
};

ModuleSession::ModuleSession() : state_(std::make_unique<State>()) {}
ModuleSession::~ModuleSession() = default;

std::string ModuleSession::open(const std::string& path) {
  try {
    // The module's own checks cost a pass over every frame; the tests and
    // the fuzzers run them.
    state_->host = std::make_unique<hostsim::SimulatedHost>(std::filesystem::path(path),
                                                            hostsim::HostOptions{.pixel_checks = false});
  } catch (const std::exception& error) {
    // The loader's text names the file once; say which file it is.
    std::string text = error.what();
    if (const std::string loader = "cannot load " + path + ": "; text.starts_with(loader)) {
      text = "cannot load the effect module " + path + ": " + text.substr(loader.size());
    } else {
      text = "the effect module " + text;
    }
    return text + " (give its path with --module or SHARDCAST_MODULE)";
  }
  hostsim::SimulatedHost& host = *state_->host;
  if (std::string failure = command_failure("global setup", host.global_setup()); !failure.empty()) {
    return failure;
  }
  if (std::string failure = command_failure("parameter setup", host.params_setup()); !failure.empty()) {
    return failure;
  }
  state_->parameters = hostsim::registered_parameters(host);
  return {};
}

std::string ModuleSession::find_and_open(const std::string& option_path) {
  const ModuleLocation module = find_module(option_path);
  if (!module.failure.empty()) {
    return module.failure;
  }
  return open(module.path);
}

const std::vector<ParameterInfo>& ModuleSession::parameters() const { return state_->parameters; }

std::string ModuleSession::supervise(AnimatedValues& values) {
  hostsim::SimulatedHost& host = *state_->host;
  for (const std::int32_t index : {PARAM_GLITCH_START, PARAM_GLITCH_END}) {
    if (values.animated(index)) {
      return "--supervise takes constant --glitch-start and --glitch-end values, not keys";
    }
  }
  // As a user types them: the start first, then the end.
  for (const std::int32_t index : {PARAM_GLITCH_START, PARAM_GLITCH_END}) {
    for (const hostsim::CommandOutcome& outcome : host.user_edit(index, values.at(index, 0))) {
      if (std::string failure = command_failure("supervision", outcome); !failure.empty()) {
        return failure;
      }
    }
  }
  for (const std::int32_t index : {PARAM_GLITCH_START, PARAM_GLITCH_END}) {
    values.tracks[static_cast<std::size_t>(index)] = ValueTrack::constant(host.slider_value(index));
  }
  return {};
}

void ModuleSession::set_values(const AnimatedValues& values, const FrameRate& rate) {
  hostsim::SimulatedHost& host = *state_->host;
  state_->rate = rate;
  const auto shared = std::make_shared<const AnimatedValues>(values);
  for (const ParameterInfo& info : state_->parameters) {
    hostsim::set_parameter_value(host, info, values.at(info.index, 0));
    if (values.animated(info.index)) {
      const std::int32_t index = info.index;
      host.set_curve(index, [shared, index](A_long what_time, A_long time_step, A_u_long) {
        const double frame = time_step != 0 ? static_cast<double>(what_time) / static_cast<double>(time_step) : 0.0;
        return shared->at(index, frame);
      });
    }
  }
}

std::string ModuleSession::render(const Image& input, std::int64_t frame, Image& output) {
  hostsim::SimulatedHost& host = *state_->host;
  HostTime time;
  if (!host_time(state_->rate, frame, time)) {
    return beyond_host_time(state_->rate, frame);
  }
  output.width = input.width;
  output.height = input.height;
  output.rgba.resize(input.rgba.size());
  const hostsim::FrameRows rows{input.width, input.height, hostsim::PixelOrder::Rgba, input.rgba.data(),
                                output.rgba.data()};
  const hostsim::CommandOutcome outcome =
      host.render(rows, hostsim::FrameTime{time.current_time, time.time_step, time.time_scale});
  return command_failure("render", outcome);
}

}  // namespace shardcast::cli
