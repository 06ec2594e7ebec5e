// Where the tool looks for the effect module, and in which order: the
// --module option, else the SHARDCAST_MODULE environment variable, else the
// module beside the program, else where an installation puts it relative to
// the program (../lib/shardcast from bin/), else, for the program in its own
// build folder only, the module of that build. A copied program thus never
// falls back on a build folder that may be gone.
//
// Nothing is loaded here. A place counts when it holds a regular file; a
// path given by the option or the variable is taken as it is, and loading
// it tells whether it is a module. When no place holds one, the refusal is
// one line that names every place looked at.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace shardcast::cli {

// How a build lays out the program and the module.
struct ModuleLayout {
  std::string file_name;                                // Shardcast.so
  std::filesystem::path installed_folder_from_program;  // relative, ../lib/shardcast
  std::filesystem::path build_program_folder;           // where the build puts the program
  std::filesystem::path build_module;                   // the module the build made
};

struct ModuleLocation {
  std::string path;     // the module to load, or empty
  std::string failure;  // why there is none, naming the places looked at
};

// The places looked at for the program at `program`, in order, each once.
std::vector<std::filesystem::path> module_search_places(const ModuleLayout& layout,
                                                        const std::filesystem::path& program);

// `option` and `variable` are empty when not given; `program` is empty when
// the running program cannot tell where it is.
ModuleLocation find_module(const ModuleLayout& layout, const std::string& option, const std::string& variable,
                           const std::filesystem::path& program);

}  // namespace shardcast::cli
