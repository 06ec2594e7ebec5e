// What the studio's page and server say to each other about parameters,
// frames and decoder lines, as JSON, and the render command a page's
// settings stand for.
//
// The page sends parameter values as an object keyed by option name, each
// value in the command line's own form ("12", "on", "0@0,400@48"; a plain
// number or true/false is taken too), so keyed values are exactly the
// render command's and are interpolated by the same code. Everything the
// page sends is checked here as the command line is checked: unknown
// names, malformed values and values outside the module's ranges are
// refused with the command line's words.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/parameters/parameter_options.h"
#include "cli/pictures/image.h"
#include "cli/studio/studio_input.h"

namespace shardcast::cli {

// Every parameter the module registers, with the parameter table's option
// name and description: the page builds its controls from this.
nlohmann::json parameters_json(const std::vector<ParameterInfo>& registered);

// The page's values into tracks, and every value resolved against the
// module's registration. Empty on success, otherwise the refusal.
std::string values_from_json(const nlohmann::json& object, const std::vector<ParameterInfo>& registered,
                             ParameterValues& given, AnimatedValues& resolved);
// The values given, for the page: each parameter's keys as [frame, value]
// pairs (a value that does not change is one key).
nlohmann::json values_to_json(const ParameterValues& given);
// Every parameter's value at a frame, keyed by option name.
nlohmann::json values_at_json(const AnimatedValues& resolved, const std::vector<ParameterInfo>& registered,
                              std::int64_t frame);
// The values given, less those that only repeat the default.
ParameterValues without_defaults(const ParameterValues& given, const std::vector<ParameterInfo>& registered);

// What the decoder said: how many lines, how many of each kind (a line up
// to its first ": ", in the order the kinds first came) and the first
// lines.
nlohmann::json decoder_summary(std::string_view lines);

// The input's name without folder, extension or frame number: "clip" of
// "clips/clip.mp4", "in" of "in_%04d.png", "sample" for the sample frame.
std::string input_stem(const InputInfo& info);
// The name of a frame exported from the page: "clip-12-glitched.png".
std::string export_name(const InputInfo& info, std::int64_t frame);
// The words after the program's name of a `shardcast render` command that
// renders the input with these values into `output`: the one frame, or
// without `frame` every frame.
std::vector<std::string> render_arguments(const RenderRequest& input, const InputInfo& info, const std::string& output,
                                          std::optional<std::int64_t> frame, const std::string& module_path,
                                          const ParameterValues& values);
// The words as one shell command line.
std::string shell_command(const std::vector<std::string>& words);

// JSON as text; bytes that are no UTF-8 (a file name's, say) become U+FFFD.
std::string json_text(const nlohmann::json& value);

// A picture for the page: the length of the head's JSON text (4 bytes,
// little-endian), the text, then the RGBA pixels.
std::string framed_picture(const nlohmann::json& head, const Image& image);

}  // namespace shardcast::cli
