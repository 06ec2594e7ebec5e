// The module search order of module_search.h.
#include "cli/effect/module_search.h"

#include <system_error>

namespace shardcast::cli {
namespace {

bool same_folder(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

// "A", "A or B", "A, B or C".
std::string listed(const std::vector<std::filesystem::path>& places) {
  std::string text;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (i > 0) {
      text += i + 1 == places.size() ? " or " : ", ";
    }
    text += places[i].string();
  }
  return text;
}

const char* const give_path_hint = " (give its path with --module or SHARDCAST_MODULE)";

}  // namespace

std::vector<std::filesystem::path> module_search_places(const ModuleLayout& layout,
                                                        const std::filesystem::path& program) {
  const std::filesystem::path folder = program.parent_path();
  std::vector<std::filesystem::path> places = {folder / layout.file_name};
  const std::filesystem::path installed =
      (folder / layout.installed_folder_from_program / layout.file_name).lexically_normal();
  if (installed != places.front().lexically_normal()) {
    places.push_back(installed);
  }
  if (!layout.build_module.empty() && same_folder(folder, layout.build_program_folder)) {
    places.push_back(layout.build_module);
  }
  return places;
}

ModuleLocation find_module(const ModuleLayout& layout, const std::string& option, const std::string& variable,
                           const std::filesystem::path& program) {
  if (!option.empty()) {
    return {option, {}};
  }
  if (!variable.empty()) {
    return {variable, {}};
  }
  if (program.empty()) {
    return {{},
            std::string("no effect module found: cannot tell where this program is to look beside it") +
                give_path_hint};
  }
  const std::vector<std::filesystem::path> places = module_search_places(layout, program);
  for (const std::filesystem::path& place : places) {
    std::error_code error;
    if (std::filesystem::is_regular_file(place, error)) {
      return {place.string(), {}};
    }
  }
  return {{}, "no effect module found at " + listed(places) + give_path_hint};
}

}  // namespace shardcast::cli
