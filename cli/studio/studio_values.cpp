// Parameters, values, decoder lines and render commands for the studio's
// page (studio_values.h).
#include "cli/studio/studio_values.h"

#include <algorithm>
#include <filesystem>

#include "cli/parameters/settings_file.h"
#include "cli/pictures/sample_frame.h"

namespace shardcast::cli {
namespace {

using nlohmann::json;

// Lines of the decoder shown on the page, and the length each is cut to.
constexpr std::size_t first_lines_shown = 12;
constexpr std::size_t line_length_shown = 160;

// One value of the page as a track; empty on success.
std::string track_from_json(const json& value, bool checkbox, ValueTrack& track) {
  if (value.is_string()) {
    return parse_track(value.get<std::string>(), checkbox, track);
  }
  if (value.is_boolean() && checkbox) {
    track = ValueTrack::constant(value.get<bool>() ? 1.0 : 0.0);
  } else if (value.is_number() && !checkbox) {
    track = ValueTrack::constant(value.get<double>());
  } else {
    return checkbox ? "expected on or off" : "expected a number";
  }
  track.hold = checkbox;
  return {};
}

bool needs_quotes(const std::string& word) {
  return word.empty() || word.find_first_not_of(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                             "@%+=:,./_-") != std::string::npos;
}

}  // namespace

json parameters_json(const std::vector<ParameterInfo>& registered) {
  json parameters = json::array();
  for (const ParameterInfo& info : registered) {
    const ParameterOption* option = option_for_index(info.index);
    if (option == nullptr) {
      continue;
    }
    const bool checkbox = info.kind == ParameterKind::Checkbox;
    parameters.push_back({{"index", info.index},
                          {"option", option->name},
                          {"name", info.shown_name},
                          {"group", info.group},
                          {"kind", checkbox ? "checkbox" : "slider"},
                          {"minimum", checkbox ? 0.0 : static_cast<double>(info.minimum)},
                          {"maximum", checkbox ? 1.0 : static_cast<double>(info.maximum)},
                          {"default", info.default_value},
                          {"decimals", info.precision},
                          {"range_text", range_text(info)},
                          {"default_text", default_text(info)},
                          {"description", option->description}});
  }
  return parameters;
}

std::string values_from_json(const json& object, const std::vector<ParameterInfo>& registered, ParameterValues& given,
                             AnimatedValues& resolved) {
  if (!object.is_object()) {
    return "values: expected an object of option names and values";
  }
  given = ParameterValues{};
  for (const auto& [name, value] : object.items()) {
    const ParameterOption* option = option_named(name);
    if (option == nullptr) {
      return "there is no parameter \"" + name + "\" (shardcast params lists them)";
    }
    ValueTrack track;
    if (std::string refusal = track_from_json(value, option->kind == ParameterKind::Checkbox, track);
        !refusal.empty()) {
      return std::string("--") + option->name + ": " + refusal;
    }
    given.given[static_cast<std::size_t>(option->index)] = std::move(track);
  }
  return resolve_tracks(registered, given, resolved);
}

json values_to_json(const ParameterValues& given) {
  json values = json::object();
  for (const ParameterOption& option : parameter_options) {
    const std::optional<ValueTrack>& track = given.given[static_cast<std::size_t>(option.index)];
    if (track.has_value()) {
      json keys = json::array();
      for (const ValueKey& key : track->keys) {
        keys.push_back({key.frame, key.value});
      }
      values[option.name] = keys;
    }
  }
  return values;
}

json values_at_json(const AnimatedValues& resolved, const std::vector<ParameterInfo>& registered, std::int64_t frame) {
  json values = json::object();
  for (const ParameterInfo& info : registered) {
    if (const ParameterOption* option = option_for_index(info.index); option != nullptr) {
      values[option->name] = resolved.at(info.index, static_cast<double>(frame));
    }
  }
  return values;
}

ParameterValues without_defaults(const ParameterValues& given, const std::vector<ParameterInfo>& registered) {
  ParameterValues kept = given;
  for (const ParameterInfo& info : registered) {
    std::optional<ValueTrack>& track = kept.given[static_cast<std::size_t>(info.index)];
    if (track.has_value() && !track->animated() && track->keys.front().value == info.default_value) {
      track.reset();
    }
  }
  return kept;
}

json decoder_summary(std::string_view lines) {
  json kinds = json::array();
  json first = json::array();
  std::vector<std::string> kind_names;
  std::size_t count = 0;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    ++count;
    if (first.size() < first_lines_shown) {
      first.push_back(std::string(line.substr(0, line_length_shown)));
    }
    const std::string kind(line.substr(0, std::min(line.find(": "), line_length_shown)));
    const auto known = std::find(kind_names.begin(), kind_names.end(), kind);
    if (known == kind_names.end()) {
      kind_names.push_back(kind);
      kinds.push_back({{"kind", kind}, {"count", 1}});
    } else {
      auto& entry = kinds[static_cast<std::size_t>(known - kind_names.begin())]["count"];
      entry = entry.get<std::size_t>() + 1;
    }
  }
  return {{"lines", count}, {"kinds", kinds}, {"first", first}};
}

std::string input_stem(const InputInfo& info) {
  if (info.kind == SourceKind::Sample) {
    return "sample";
  }
  std::string stem = std::filesystem::path(info.name).stem().string();
  if (info.kind == SourceKind::Sequence) {
    stem = stem.substr(0, stem.find_first_of("%#"));
  }
  while (!stem.empty() && (stem.back() == '_' || stem.back() == '-' || stem.back() == '.')) {
    stem.pop_back();
  }
  return stem.empty() ? "frame" : stem;
}

std::string export_name(const InputInfo& info, std::int64_t frame) {
  const bool numbered = info.kind == SourceKind::Sequence || info.kind == SourceKind::Clip;
  return input_stem(info) + (numbered ? "-" + std::to_string(frame) : std::string()) + "-glitched.png";
}

std::vector<std::string> render_arguments(const RenderRequest& input, const InputInfo& info, const std::string& output,
                                          std::optional<std::int64_t> frame, const std::string& module_path,
                                          const ParameterValues& values) {
  std::vector<std::string> words = {"render"};
  if (!input.input.empty()) {
    words.push_back(input.input);
  }
  words.insert(words.end(), {"-o", output});
  if (frame.has_value() && (info.kind == SourceKind::Sequence || info.kind == SourceKind::Clip)) {
    words.insert(words.end(), {"--frames", std::to_string(*frame)});
  }
  if (info.kind == SourceKind::Sample &&
      (input.sample_width != sample_frame_width || input.sample_height != sample_frame_height)) {
    words.insert(words.end(),
                 {"--sample-size", std::to_string(input.sample_width) + "x" + std::to_string(input.sample_height)});
  }
  if (input.limits.max_pixels != default_max_pixels) {
    words.insert(words.end(), {"--max-pixels", std::to_string(input.limits.max_pixels)});
  }
  if (!module_path.empty()) {
    words.insert(words.end(), {"--module", module_path});
  }
  for (const ParameterOption& option : parameter_options) {
    const std::optional<ValueTrack>& track = values.given[static_cast<std::size_t>(option.index)];
    if (track.has_value()) {
      words.insert(words.end(),
                   {std::string("--") + option.name, track_text(*track, option.kind == ParameterKind::Checkbox)});
    }
  }
  return words;
}

std::string shell_command(const std::vector<std::string>& words) {
  std::string command;
  for (const std::string& word : words) {
    command += command.empty() ? "" : " ";
    if (!needs_quotes(word)) {
      command += word;
      continue;
    }
    command += '\'';
    for (const char c : word) {
      command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    command += '\'';
  }
  return command;
}

std::string json_text(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string framed_picture(const json& head, const Image& image) {
  const std::string text = json_text(head);
  std::string body;
  body.reserve(4 + text.size() + image.rgba.size());
  const auto length = static_cast<std::uint32_t>(text.size());
  for (int shift = 0; shift < 32; shift += 8) {
    body += static_cast<char>((length >> shift) & 0xFF);
  }
  body += text;
  body.append(reinterpret_cast<const char*>(image.rgba.data()), image.rgba.size());
  return body;
}

}  // namespace shardcast::cli
