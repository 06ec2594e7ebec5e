// The descriptions of the effect's parameters that live outside the code,
// each made from the parameter table (pipeline/parameter_table.h):
//   - Kdenlive's effect file for the frei0r filter (a whole file),
//   - the parameter list of Shotcut's panel for it,
//   - the native MLT filter's metadata and Kdenlive's effect file for it
//     (whole files), and the parameter lists of Shotcut's panel for it and
//     of its keyframes,
//   - the README's table of the tool's options and of the frei0r filter's
//     parameters,
//   - the man page's section on the parameters (written at build time).
//
// The first three are checked in, where people read them and packages take
// them from; each generated part sits between two marker lines ("begin
// generated: NAME" and "end generated: NAME", in the file's comment form),
// and the rest of the file is written by hand. A test holds the checked-in
// copies against the table, and the update_parameter_texts target rewrites
// them.
//
// A writer takes nothing but the table, so a description of another service
// is one more writer and one more entry in checked_in_parts; the shared
// wording is in parameter_texts.h.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "describe/parameter_texts.h"

namespace shardcast::describe {

std::string kdenlive_frei0r_effect();
// The values Kdenlive's list offers for a slider that does not start at 0,
// in rising order (kdenlive_effect.cpp says which).
std::vector<Decimal> kdenlive_list_values(const ParamRow& slider);
std::string shotcut_frei0r_parameter_list();
std::string mlt_metadata();
std::string kdenlive_mlt_effect();
// The largest value Kdenlive's number for the slider offers: its maximum,
// or where that needs more than six significant digits, 999999 of its
// steps (mlt_service.cpp says why).
Decimal kdenlive_maximum(const ParamRow& slider);
std::string shotcut_mlt_parameter_list();
std::string shotcut_mlt_keyframe_list();
std::string readme_options_table();
std::string readme_frei0r_table();
std::string man_page_section();

struct GeneratedPart {
  const char* path;  // from the source folder
  const char* name;  // the markers' name; empty for a whole file
  std::string (*text)();
};

inline constexpr std::array<GeneratedPart, 8> checked_in_parts{{
    {"packaging/kdenlive/frei0r_shardcast.xml", "", kdenlive_frei0r_effect},
    {"packaging/shotcut/shardcast/ui.qml", "parameter list", shotcut_frei0r_parameter_list},
    {"packaging/mlt/filter_shardcast.yml", "", mlt_metadata},
    {"packaging/kdenlive/shardcast.xml", "", kdenlive_mlt_effect},
    {"packaging/shotcut/shardcast_mlt/ui.qml", "parameter list", shotcut_mlt_parameter_list},
    {"packaging/shotcut/shardcast_mlt/meta.qml", "keyframe parameters", shotcut_mlt_keyframe_list},
    {"README.md", "parameter options", readme_options_table},
    {"README.md", "frei0r parameters", readme_frei0r_table},
}};

// The file's text with the part replaced by its current text; false (and
// `text` untouched) when the file lacks the part's markers.
bool replace_part(std::string& text, const GeneratedPart& part);

// The file's text as the table makes it: every part of checked_in_parts
// that belongs to `path` replaced. Empty when a part's markers are missing.
std::string refreshed(std::string_view path, const std::string& text);

}  // namespace shardcast::describe
