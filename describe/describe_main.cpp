// Build tool: writes the parameter descriptions from the parameter table.
//   shardcast_describe update <source folder>
//       rewrites the generated parts of the checked-in files (the Kdenlive
//       effect, Shotcut's parameter list, the README's tables), touching
//       only files whose text changes, and names each one it rewrote;
//   shardcast_describe man-section <file>
//       writes the man page's PARAMETERS section for help2man.
// A file that cannot be read or written, or lacks its markers, stops it
// with status 1 and a line naming the file.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "describe/descriptions.h"

namespace {

namespace fs = std::filesystem;
using shardcast::describe::checked_in_parts;
using shardcast::describe::GeneratedPart;

bool read_file(const fs::path& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  text = contents.str();
  return static_cast<bool>(file);
}

bool write_file(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  return static_cast<bool>(file);
}

int update(const fs::path& source) {
  std::set<std::string_view> paths;
  for (const GeneratedPart& part : checked_in_parts) {
    paths.insert(part.path);
  }
  for (const std::string_view path : paths) {
    const fs::path file = source / path;
    std::string text;
    if (!read_file(file, text)) {
      std::fprintf(stderr, "shardcast_describe: cannot read %s\n", file.c_str());
      return 1;
    }
    const std::string refreshed = shardcast::describe::refreshed(path, text);
    if (refreshed.empty()) {
      std::fprintf(stderr, "shardcast_describe: %s lacks the markers of a generated part\n", file.c_str());
      return 1;
    }
    if (refreshed == text) {
      continue;
    }
    if (!write_file(file, refreshed)) {
      std::fprintf(stderr, "shardcast_describe: cannot write %s\n", file.c_str());
      return 1;
    }
    std::printf("rewrote %s\n", file.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc == 3 ? argv[1] : "";
  if (command == "update") {
    return update(argv[2]);
  }
  if (command == "man-section") {
    if (!write_file(argv[2], shardcast::describe::man_page_section())) {
      std::fprintf(stderr, "shardcast_describe: cannot write %s\n", argv[2]);
      return 1;
    }
    return 0;
  }
  std::fprintf(stderr, "usage: %s update <source folder> | man-section <file>\n", argv[0]);
  return 2;
}
