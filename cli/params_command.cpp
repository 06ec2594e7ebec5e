// `params`: the effect's parameters as the module registers them, one line
// each, with the option that sets it.
#include <cstdio>

#include "cli/commands.h"
#include "cli/module_session.h"

namespace shardcast::cli {

int run_params(const std::string& module_path) {
  ModuleSession module;
  if (std::string failure = module.open(find_module_path(module_path)); !failure.empty()) {
    report(failure);
    return exit_bad_input;
  }
  std::printf("%-22s %-18s %-32s %-16s %s\n", "OPTION", "NAME", "GROUP", "RANGE", "DEFAULT");
  for (const ParameterInfo& info : module.parameters()) {
    const ParameterOption* option = option_for_index(info.index);
    const std::string option_name =
        option != nullptr ? std::string("--") + option->name : "(index " + std::to_string(info.index) + ")";
    const std::string group = info.group.empty() ? "-" : info.group;
    std::string range;
    std::string default_text;
    if (info.kind == ParameterKind::Checkbox) {
      range = "on/off";
      default_text = info.default_value != 0.0 ? "on" : "off";
    } else {
      range = format_float(info.minimum) + " .. " + format_float(info.maximum);
      default_text = format_float(static_cast<float>(info.default_value));
    }
    std::printf("%-22s %-18s %-32s %-16s %s\n", option_name.c_str(), ("\"" + info.shown_name + "\"").c_str(),
                group.c_str(), range.c_str(), default_text.c_str());
  }
  return exit_success;
}

}  // namespace shardcast::cli
