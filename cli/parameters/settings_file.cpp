// Settings files: reading one with toml++, writing one, and finding the
// looks the tool ships.
//
// toml++ keeps the line of every key, which each refusal names. A table's
// keys come back sorted by name, so all of them are judged and the
// refusal of the first line wins: the one a person reading from the top
// meets first.
#include "cli/parameters/settings_file.h"

#include <toml++/toml.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli/system/data_folders.h"

namespace shardcast::cli {
namespace {

// A parameter as the parameter table describes it, in the form the range
// check takes.
ParameterInfo table_info(const ParamRow& row) {
  ParameterInfo info;
  info.index = row.index;
  info.kind = row.kind == ParamKind::Checkbox ? ParameterKind::Checkbox : ParameterKind::Slider;
  info.shown_name = row.name;
  info.group = std::string(group_of(row));
  info.minimum = row.minimum;
  info.maximum = row.maximum;
  info.default_value = row.dephault;
  info.precision = row.decimals;
  return info;
}

const char* kind_of(const toml::node& node) {
  if (node.is_table()) {
    return "a table";
  }
  if (node.is_array()) {
    return "an array";
  }
  return "a date or time";
}

// The value of one key as a track. Empty on success, otherwise what is
// wrong, worded to follow the key.
std::string read_track(const toml::node& node, bool checkbox, ValueTrack& track) {
  const char* wanted = checkbox ? "expected true or false (or on, off)" : "expected a number";
  double value = 0;
  if (const auto text = node.value_exact<std::string>()) {
    return parse_track(*text, checkbox, track);
  }
  if (const auto flag = node.value_exact<bool>()) {
    if (!checkbox) {
      return std::string(wanted) + ", not " + (*flag ? "true" : "false");
    }
    value = *flag ? 1.0 : 0.0;
  } else if (const auto whole = node.value_exact<std::int64_t>()) {
    if (checkbox && *whole != 0 && *whole != 1) {
      return std::string(wanted) + ", not " + std::to_string(*whole);
    }
    value = static_cast<double>(*whole);
  } else if (const auto number = node.value_exact<double>()) {
    if (checkbox) {
      return std::string(wanted) + ", not " + format_number(*number);
    }
    value = *number;
  } else {
    return std::string(wanted) + ", not " + kind_of(node);
  }
  track = ValueTrack::constant(value);
  track.hold = checkbox;
  return {};
}

// Every key's value within the parameter's range.
std::string check_track(const ParamRow& row, const ValueTrack& track) {
  for (const ValueKey& key : track.keys) {
    if (std::string refusal = check_range(table_info(row), key.value); !refusal.empty()) {
      // "--broken-bytes (...) must lie between ..." without its dashes.
      refusal.erase(0, 2);
      return track.animated()
                 ? refusal + " (the key at frame " + std::to_string(key.frame) + " is " + format_number(key.value) + ")"
                 : refusal;
    }
  }
  return {};
}

struct Refusal {
  std::int64_t line = 0;
  std::string text;
};

// One key of the file into the settings; a refusal otherwise.
std::optional<Refusal> take_key(const toml::key& key, const toml::node& node, Settings& settings) {
  const std::int64_t line = key.source().begin.line;
  const std::string name(key.str());
  const ParameterOption* option = option_named(name);
  if (option == nullptr) {
    return Refusal{line, "\"" + name + "\" is no parameter (shardcast params lists them)"};
  }
  ValueTrack track;
  if (std::string refusal = read_track(node, option->kind == ParameterKind::Checkbox, track); !refusal.empty()) {
    return Refusal{line, name + ": " + refusal};
  }
  if (std::string refusal = check_track(param_row(option->index), track); !refusal.empty()) {
    return Refusal{line, refusal};
  }
  const auto slot = static_cast<std::size_t>(option->index);
  settings.tracks[slot] = std::move(track);
  settings.lines[slot] = line;
  return std::nullopt;
}

bool is_look_name(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
  });
}

// The whole file, but no more than max_settings_bytes.
std::string read_bounded(const std::string& path, std::string& text) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return "cannot read " + path + ": it is a folder";
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file == nullptr) {
    return "cannot read " + path + ": " + std::strerror(errno);
  }
  text.resize(max_settings_bytes + 1);
  const std::size_t count = std::fread(text.data(), 1, text.size(), file.get());
  if (std::ferror(file.get()) != 0) {
    return "cannot read " + path + ": " + std::strerror(errno);
  }
  if (count > max_settings_bytes) {
    return "cannot read " + path + ": a settings file holds at most " + std::to_string(max_settings_bytes) + " bytes";
  }
  text.resize(count);
  return {};
}

// A constant as TOML: whole numbers as integers, other numbers in their
// shortest form, switches as true or false.
std::string constant_text(double value, bool checkbox) {
  if (checkbox) {
    return value != 0.0 ? "true" : "false";
  }
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<std::int64_t>(value));
  }
  return format_number(value);
}

std::string value_line(const ParamRow& row, const std::optional<ValueTrack>& given) {
  const bool checkbox = row.kind == ParamKind::Checkbox;
  const ParameterInfo info = table_info(row);
  std::string line;
  if (!given.has_value()) {
    line = "# " + std::string(row.option) + " = " + constant_text(row.dephault, checkbox);
  } else if (given->animated()) {
    line = std::string(row.option) + " = \"" + track_text(*given, checkbox) + "\"";
  } else {
    line = std::string(row.option) + " = " + constant_text(given->keys.front().value, checkbox);
  }
  line.append(line.size() < 32 ? 32 - line.size() : 1, ' ');
  return line + "# " + range_text(info) + ", default " + default_text(info) + ": " + row.description + "\n";
}

}  // namespace

std::string parse_settings(std::string_view text, const std::string& name, Settings& settings) {
  settings = Settings{};
  toml::table table;
  try {
    table = toml::parse(text, name);
  } catch (const toml::parse_error& error) {
    return name + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description());
  }
  std::optional<Refusal> first;
  for (const auto& [key, node] : table) {
    std::optional<Refusal> refusal = take_key(key, node, settings);
    if (refusal.has_value() && (!first.has_value() || refusal->line < first->line)) {
      first = std::move(refusal);
    }
  }
  if (first.has_value()) {
    settings = Settings{};
    return name + ":" + std::to_string(first->line) + ": " + first->text;
  }
  return {};
}

std::string read_settings(const std::string& file_or_look, Settings& settings) {
  std::error_code error;
  std::string path = file_or_look;
  if (!std::filesystem::exists(file_or_look, error) && is_look_name(file_or_look)) {
    path = look_file(file_or_look);
    if (path.empty()) {
      std::string names;
      for (const std::string& look : look_names()) {
        names += names.empty() ? look : ", " + look;
      }
      return "--settings " + file_or_look + ": no such file, and no look of that name (" +
             (names.empty() ? std::string("no looks are installed") : "the looks: " + names) + ")";
    }
  }
  std::string text;
  if (std::string failure = read_bounded(path, text); !failure.empty()) {
    return failure;
  }
  return parse_settings(text, path, settings);
}

void add_settings(const Settings& settings, ParameterValues& values) {
  for (std::size_t slot = 0; slot < values.given.size(); ++slot) {
    if (!values.given[slot].has_value() && settings.tracks[slot].has_value()) {
      values.given[slot] = settings.tracks[slot];
    }
  }
}

std::string settings_text(const ParameterValues& values) {
  std::string text =
      "# Shardcast settings, for shardcast render --settings FILE and shardcast studio --settings FILE.\n"
      "# One line per parameter, named as the render command's option: a number,\n"
      "# true or false for a switch, or keys as on the command line (\"0@0,400@48,0@96\").\n"
      "# A line commented out, or left out, keeps the default.\n";
  std::string_view group = "(none yet)";
  for (const ParamRow* row : value_params) {
    if (group_of(*row) != group) {
      group = group_of(*row);
      text += group.empty() ? std::string("\n") : "\n# " + std::string(group) + "\n";
    }
    text += value_line(*row, values.given[static_cast<std::size_t>(row->index)]);
  }
  return text;
}

std::string track_text(const ValueTrack& track, bool checkbox) {
  const auto value_text = [checkbox](double value) {
    return checkbox ? std::string(value != 0.0 ? "on" : "off") : format_number(value);
  };
  if (!track.animated()) {
    return track.keys.empty() ? std::string() : value_text(track.keys.front().value);
  }
  std::string text;
  for (const ValueKey& key : track.keys) {
    if (!text.empty()) {
      text += ',';
    }
    text += value_text(key.value);
    text += '@';
    text += std::to_string(key.frame);
  }
  return text;
}

std::vector<std::string> look_names() {
  std::string looked_at;
  const std::filesystem::path folder = find_data_folder("looks", looked_at);
  std::vector<std::string> names;
  std::error_code error;
  if (folder.empty()) {
    return names;
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().stem().string();
    if (entry.path().extension() == ".toml" && is_look_name(name) && entry.is_regular_file(error)) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string look_file(const std::string& name) {
  std::string looked_at;
  const std::filesystem::path folder = find_data_folder("looks", looked_at);
  if (!is_look_name(name) || folder.empty()) {
    return {};
  }
  const std::filesystem::path file = folder / (name + ".toml");
  std::error_code error;
  return std::filesystem::is_regular_file(file, error) ? file.string() : std::string();
}

}  // namespace shardcast::cli
