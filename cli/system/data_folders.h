// Where the tool finds the files it ships besides the module: the named
// looks (looks/) and the studio's page (studio-page/). As with the module
// (module_search.h), the folder beside the program comes first, which is
// where the build puts a copy for the program in its build folder, then
// where an installation puts it relative to the program
// (../share/shardcast/ from bin/). A folder counts when it exists.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace shardcast::cli {

// The places looked at for the data folder `name` of the program at
// `program`, in order, each once; `installed_from_program` is relative.
std::vector<std::filesystem::path> data_folder_places(const std::filesystem::path& program,
                                                      const std::filesystem::path& installed_from_program,
                                                      const std::string& name);

// The first of this program's places for `name` that is a folder; empty
// when there is none. `looked_at` lists the places, for a refusal.
std::filesystem::path find_data_folder(const std::string& name, std::string& looked_at);

}  // namespace shardcast::cli
