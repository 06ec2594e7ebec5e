// Reading the registered parameters back from the host's table, and the
// verdict on one command's outcome.
#include "hostsim/parameter_table.h"

#include "hostsim/simulated_host.h"

namespace shardcast::hostsim {
namespace {

// The name field need not be NUL-terminated within its 32 bytes.
std::string name_of(const PF_ParamDef& def) {
  const char* name = def.name;
  std::size_t length = 0;
  while (length < sizeof def.name && name[length] != '\0') {
    ++length;
  }
  return std::string(name, length);
}

}  // namespace

std::vector<ParameterInfo> registered_parameters(const SimulatedHost& host) {
  std::vector<ParameterInfo> parameters;
  std::string group;
  for (A_long index = 1; index < host.parameter_count(); ++index) {
    const PF_ParamDef& def = host.parameter(index);
    ParameterInfo info;
    info.index = index;
    info.shown_name = name_of(def);
    info.group = group;
    switch (def.param_type) {
      case PF_Param_GROUP_START:
        group = name_of(def);
        continue;
      case PF_Param_GROUP_END:
        group.clear();
        continue;
      case PF_Param_FLOAT_SLIDER:
        info.kind = ParameterKind::Slider;
        info.minimum = def.u.fs_d.valid_min;
        info.maximum = def.u.fs_d.valid_max;
        info.default_value = def.u.fs_d.value;
        info.precision = def.u.fs_d.precision;
        break;
      case PF_Param_CHECKBOX:
        info.kind = ParameterKind::Checkbox;
        info.default_value = def.u.bd.value != 0 ? 1.0 : 0.0;
        break;
      default:
        continue;
    }
    parameters.push_back(info);
  }
  return parameters;
}

void set_parameter_value(SimulatedHost& host, const ParameterInfo& info, double value) {
  if (info.kind == ParameterKind::Checkbox) {
    host.set_checkbox(info.index, value != 0.0);
  } else {
    host.set_slider(info.index, value);
  }
}

std::string command_failure(const char* command, const CommandOutcome& outcome) {
  if (outcome.result != PF_Err_NONE) {
    return std::string("the effect module failed in ") + command + " (host error " +
           std::to_string(outcome.result) + ")";
  }
  if (!outcome.violations.empty()) {
    std::string text = std::string("the effect module broke the host's rules in ") + command +
                       ": " + outcome.violations.front();
    if (outcome.violations.size() > 1) {
      text += " (and " + std::to_string(outcome.violations.size() - 1) + " more)";
    }
    return text;
  }
  return {};
}

}  // namespace shardcast::hostsim
