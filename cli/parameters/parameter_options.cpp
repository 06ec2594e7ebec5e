// Parameter options: checkbox words, range checks against the registered
// ranges, and the numbers as people type them.
//
// A slider's range is registered in single precision, so 0.1 and 99.9 are
// really 0.100000001... and 99.9000015...; a value typed exactly as the
// bound is shown must pass, so each bound widens to whichever of the two
// (the float or its shortest decimal) lies further out. Nothing else does.
#include "cli/parameters/parameter_options.h"

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

const ParameterOption* option_named(std::string_view name) {
  for (const ParameterOption& option : parameter_options) {
    if (name == option.name) {
      return &option;
    }
  }
  return nullptr;
}

const ParameterInfo* registered_info(const std::vector<ParameterInfo>& registered, std::int32_t index) {
  for (const ParameterInfo& info : registered) {
    if (info.index == index) {
      return &info;
    }
  }
  return nullptr;
}

std::string format_number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string format_float(float value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

std::string range_text(const ParameterInfo& info) {
  if (info.kind == ParameterKind::Checkbox) {
    return "on/off";
  }
  return format_float(info.minimum) + " .. " + format_float(info.maximum);
}

std::string default_text(const ParameterInfo& info) {
  if (info.kind == ParameterKind::Checkbox) {
    return info.default_value != 0.0 ? "on" : "off";
  }
  return format_float(static_cast<float>(info.default_value));
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

bool AnimatedValues::animated(std::int32_t index) const {
  return tracks[static_cast<std::size_t>(index)].animated() || (index == PARAM_SEED && seed_step != 0);
}

double AnimatedValues::at(std::int32_t index, double frame) const {
  const double value = tracks[static_cast<std::size_t>(index)].at(frame);
  if (index == PARAM_SEED && seed_step != 0) {
    return value + static_cast<double>(seed_step) * frame;
  }
  return value;
}

ResolvedValues AnimatedValues::at_frame(std::int64_t frame) const {
  ResolvedValues values{};
  for (std::int32_t index = 0; index < PARAM_COUNT; ++index) {
    values[static_cast<std::size_t>(index)] = at(index, static_cast<double>(frame));
  }
  return values;
}

std::string resolve_tracks(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           AnimatedValues& values) {
  values.tracks.fill(ValueTrack::constant(0.0));
  std::array<bool, PARAM_COUNT> known{};
  for (const ParameterInfo& info : registered) {
    if (info.index <= 0 || info.index >= PARAM_COUNT) {
      continue;
    }
    const auto slot = static_cast<std::size_t>(info.index);
    known[slot] = true;
    values.tracks[slot] = ValueTrack::constant(info.default_value);
    values.tracks[slot].hold = info.kind == ParameterKind::Checkbox;
    const std::optional<ValueTrack>& track = given.given[slot];
    if (!track.has_value()) {
      continue;
    }
    for (const ValueKey& key : track->keys) {
      if (std::string refusal = check_range(info, key.value); !refusal.empty()) {
        return track->animated() ? refusal + " (the key at frame " + std::to_string(key.frame) + " is " +
                                       format_number(key.value) + ")"
                                 : refusal;
      }
    }
    values.tracks[slot] = *track;
  }
  for (const ParameterOption& option : parameter_options) {
    if (given.given[static_cast<std::size_t>(option.index)].has_value() &&
        !known[static_cast<std::size_t>(option.index)]) {
      return std::string("--") + option.name + ": the effect module registers no such parameter";
    }
  }
  return {};
}

std::string resolve_values(const std::vector<ParameterInfo>& registered, const ParameterValues& given,
                           ResolvedValues& values) {
  for (const ParameterOption& option : parameter_options) {
    const std::optional<ValueTrack>& track = given.given[static_cast<std::size_t>(option.index)];
    if (track.has_value() && track->animated()) {
      return std::string("--") + option.name + " takes one value here, not keys";
    }
  }
  AnimatedValues tracks;
  if (std::string refusal = resolve_tracks(registered, given, tracks); !refusal.empty()) {
    return refusal;
  }
  values = tracks.at_frame(0);
  return {};
}

}  // namespace shardcast::cli
