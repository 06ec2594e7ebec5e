// Saved settings: the effect's parameter values in a small TOML file that
// people write and edit by hand, read by --settings and written by
// `params --save`.
//
// Each key is a parameter's option name (broken-bytes, qtl); its value is a
// number, true/false for a switch, or a string in the command line's own
// form: "12", "on", or keys "0@0,400@48,0@96". Parameters left out keep
// their defaults. Refused, with one line naming the file, the line and the
// key: a name that is no parameter, a table or an array, a value of the
// wrong kind, keys out of order, and a value outside the parameter's range
// (the parameter table's; the module loaded checks again). A file that is
// no TOML is refused with the parser's line. The file is read whole, but no
// more than max_settings_bytes of it.
//
// --settings NAME, a plain name that is no file, is one of the looks the
// tool ships: looks/NAME.toml in the data folder (data_folders.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/parameters/parameter_options.h"

namespace shardcast::cli {

inline constexpr std::size_t max_settings_bytes = std::size_t{1} << 20;

struct Settings {
  std::array<std::optional<ValueTrack>, PARAM_COUNT> tracks{};
  std::array<std::int64_t, PARAM_COUNT> lines{};  // where each value was set
};

// The settings in `text`, read from the file `name`. Empty on success,
// otherwise the refusal, beginning "NAME:LINE: ".
std::string parse_settings(std::string_view text, const std::string& name, Settings& settings);

// A file, or a look by its name. Empty on success, otherwise the refusal.
std::string read_settings(const std::string& file_or_look, Settings& settings);

// The file's values for every parameter the command line did not give.
void add_settings(const Settings& settings, ParameterValues& values);

// The text of a settings file: every parameter, grouped as the host groups
// them, with its range, default and description; the values given are set,
// the others commented out at their defaults.
std::string settings_text(const ParameterValues& values);

// A track in the command line's form: "12", "on", "0@0,400@48".
std::string track_text(const ValueTrack& track, bool checkbox);

// The looks shipped with the tool, by name, sorted; empty when their
// folder is not found.
std::vector<std::string> look_names();
// The file of a look; empty when there is no such look.
std::string look_file(const std::string& name);

}  // namespace shardcast::cli
