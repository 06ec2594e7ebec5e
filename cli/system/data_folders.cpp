// The data folders' search order of data_folders.h.
#include "cli/system/data_folders.h"

#include <system_error>

#include "cli/system/platform.h"

namespace shardcast::cli {

std::vector<std::filesystem::path> data_folder_places(const std::filesystem::path& program,
                                                      const std::filesystem::path& installed_from_program,
                                                      const std::string& name) {
  const std::filesystem::path folder = program.parent_path();
  std::vector<std::filesystem::path> places = {folder / name};
  const std::filesystem::path installed = (folder / installed_from_program / name).lexically_normal();
  if (installed != places.front().lexically_normal()) {
    places.push_back(installed);
  }
  return places;
}

std::filesystem::path find_data_folder(const std::string& name, std::string& looked_at) {
  const std::filesystem::path program = executable_path();
  looked_at.clear();
  if (program.empty()) {
    looked_at = "nowhere: this program cannot tell where it is";
    return {};
  }
  for (const std::filesystem::path& place : data_folder_places(program, SHARDCAST_INSTALLED_DATA_DIR, name)) {
    std::error_code error;
    if (std::filesystem::is_directory(place, error)) {
      return place;
    }
    looked_at += looked_at.empty() ? place.string() : " and " + place.string();
  }
  return {};
}

}  // namespace shardcast::cli
