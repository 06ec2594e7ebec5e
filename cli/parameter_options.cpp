// Parameter options: checkbox words, range checks against the registered
// ranges, and the numbers as people type them.
//
// A slider's range is registered in single precision, so 0.1 and 99.9 are
// really 0.100000001... and 99.9000015...; a value typed exactly as the
// bound is shown must pass, so each bound widens to whichever of the two
// (the float or its shortest decimal) lies further out. Nothing else does.
#include "cli/parameter_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace shardcast::cli {

const ParameterOption* option_for_index(std::int32_t index) {
  for (const ParameterOption& option : parameter_options) {
    if (option.index == index) {
      return &option;
    }
  }
  return nullptr;
}

bool parse_checkbox(const std::string& text, double& value) {
  std::string word = text;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "on" || word == "1" || word == "true") {
    value = 1;
    return true;
  }
  if (word == "off" || word == "0" || word == "false") {
    value = 0;
    return true;
  }
  return false;
}

std::string format_float(float value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

std::string check_range(const ParameterInfo& info, double value) {
  const ParameterOption* option = option_for_index(info.index);
  const std::string option_name = option != nullptr ? std::string("--") + option->name : "parameter";
  if (info.kind == ParameterKind::Checkbox) {
    return {};
  }
  const std::string minimum_text = format_float(info.minimum);
  const std::string maximum_text = format_float(info.maximum);
  const double lowest = std::min(static_cast<double>(info.minimum), std::strtod(minimum_text.c_str(), nullptr));
  const double highest = std::max(static_cast<double>(info.maximum), std::strtod(maximum_text.c_str(), nullptr));
  if (value >= lowest && value <= highest) {
    return {};
  }
  std::string where = "\"" + info.shown_name + "\"";
  if (!info.group.empty()) {
    where += " in \"" + info.group + "\"";
  }
  return option_name + " (" + where + ") must lie between " + minimum_text + " and " + maximum_text;
}

std::string resolve_values(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           ResolvedValues& values) {
  values.fill(0.0);
  std::array<bool, PARAM_COUNT> known{};
  for (const ParameterInfo& info : registered) {
    if (info.index <= 0 || info.index >= PARAM_COUNT) {
      continue;
    }
    known[static_cast<std::size_t>(info.index)] = true;
    values[static_cast<std::size_t>(info.index)] = info.default_value;
    if (const std::optional<double>& value = given.given[static_cast<std::size_t>(info.index)]; value.has_value()) {
      if (std::string refusal = check_range(info, *value); !refusal.empty()) {
        return refusal;
      }
      values[static_cast<std::size_t>(info.index)] = *value;
    }
  }
  for (const ParameterOption& option : parameter_options) {
    if (given.given[static_cast<std::size_t>(option.index)].has_value() &&
        !known[static_cast<std::size_t>(option.index)]) {
      return std::string("--") + option.name + ": the effect module registers no such parameter";
    }
  }
  return {};
}

}  // namespace shardcast::cli
