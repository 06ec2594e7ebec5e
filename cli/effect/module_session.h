// The effect module as the tool uses it: loaded through the simulated host,
// set up once (global setup, parameter setup) and then asked for frames.
//
// Which module: see module_search.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/effect/module_search.h"
#include "cli/frames/frame_timing.h"
#include "cli/parameters/parameter_options.h"
#include "cli/pictures/image.h"

namespace shardcast::cli {

// The module this program would load: module_search.h's order, with this
// program's place, its environment and the layout it was built with.
ModuleLocation find_module(const std::string& option_path);

class ModuleSession {
 public:
  ModuleSession();
  ModuleSession(const ModuleSession&) = delete;
  ModuleSession& operator=(const ModuleSession&) = delete;
  ~ModuleSession();

  // Loads the module and runs global and parameter setup. Empty on success,
  // otherwise the reason.
  std::string open(const std::string& path);
  // Finds the module (find_module) and opens it. Empty on success,
  // otherwise the reason: no module found, or the one found failed to load
  // or to set up.
  std::string find_and_open(const std::string& option_path);
  // What the module registered, in index order, sliders and checkboxes only.
  const std::vector<ParameterInfo>& parameters() const;
  // The host's editing rule for the glitch window: the values are changed
  // the way a user's typing them into the host would change them. Both
  // must be constant.
  std::string supervise(AnimatedValues& values);
  // The values every later frame is rendered with, and the frame rate that
  // turns frame numbers into the host's time. Animated values become
  // keyframed parameters of the host, read by the module at each frame's
  // time.
  void set_values(const AnimatedValues& values, const FrameRate& rate);
  // One frame at its frame number; output gets the input's size.
  std::string render(const Image& input, std::int64_t frame, Image& output);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace shardcast::cli
