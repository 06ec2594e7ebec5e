// `params --save FILE`: the values given on the command line (and those of
// --settings under them) as a settings file that people can edit and hand
// back to --settings. Every value is checked against the ranges the module
// registers first, so a file written here is one the render takes. The
// file appears whole or not at all, replacing one that exists.
#include <vector>

#include "cli/commands/commands.h"
#include "cli/effect/module_session.h"
#include "cli/output/pending_file.h"
#include "cli/parameters/settings_file.h"

namespace shardcast::cli {

int run_save_settings(const std::string& path, const ParameterValues& values, const std::string& module_path) {
  ModuleSession module;
  if (std::string failure = module.find_and_open(module_path); !failure.empty()) {
    report(failure);
    return exit_internal_failure;
  }
  AnimatedValues checked;
  if (std::string refusal = resolve_tracks(module.parameters(), values, checked); !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  const std::string text = settings_text(values);
  if (std::string failure = write_whole_file(path, std::vector<std::uint8_t>(text.begin(), text.end()));
      !failure.empty()) {
    report("cannot write " + path + ": " + failure);
    return exit_bad_input;
  }
  std::size_t count = 0;
  for (const auto& track : values.given) {
    count += track.has_value() ? 1 : 0;
  }
  report_note("params: " + std::to_string(count) + (count == 1 ? " value" : " values") + " saved to " + path);
  return exit_success;
}

}  // namespace shardcast::cli
