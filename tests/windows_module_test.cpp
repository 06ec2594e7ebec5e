// The Windows build's deliverables as a host sees them, read with the cross
// binutils and icoutils: the module's export table, the system libraries
// each binary imports, and the PiPL resource compared with the bytes the
// Linux build generated. Skipped when there is no Windows build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/program_run.h"

namespace {

namespace fs = std::filesystem;
using shardcast::testing::lines_of;

fs::path windows_build_dir() {
  const char* chosen = std::getenv("SHARDCAST_WINDOWS_BUILD_DIR");
  return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::path(SHARDCAST_WINDOWS_BUILD_DIR);
}

fs::path module_path() { return windows_build_dir() / "bin" / "Shardcast.aex"; }

// The module as built, and as the zip and the installer deliver it (without
// symbols) once the packages are made.
std::vector<fs::path> module_paths() {
  std::vector<fs::path> paths = {module_path()};
  if (const fs::path delivered = windows_build_dir() / "packages" / "zip" / "Shardcast.aex"; fs::exists(delivered)) {
    paths.push_back(delivered);
  }
  return paths;
}

struct PipeCloser {
  void operator()(FILE* pipe) const { pclose(pipe); }
};

// Standard output of a shell command; the test fails if the command does.
std::string run(const std::string& command) {
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string output;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) {
    output.append(chunk, got);
  }
  const int status = pclose(pipe.release());
  EXPECT_EQ(status, 0) << command;
  return output;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The names in objdump's "[Ordinal/Name Pointer] Table", in table order.
std::vector<std::string> exported_names(const fs::path& binary) {
  std::vector<std::string> names;
  bool in_table = false;
  for (const std::string& line : lines_of(run(std::string(SHARDCAST_MINGW_OBJDUMP) + " -p " + quoted(binary)))) {
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      in_table = true;
    } else if (in_table && line.empty()) {
      break;
    } else if (in_table) {
      names.push_back(line.substr(line.rfind(' ') + 1));
    }
  }
  return names;
}

std::vector<std::string> imported_libraries(const fs::path& binary) {
  std::vector<std::string> libraries;
  const std::string marker = "DLL Name: ";
  for (const std::string& line : lines_of(run(std::string(SHARDCAST_MINGW_OBJDUMP) + " -p " + quoted(binary)))) {
    if (const auto at = line.find(marker); at != std::string::npos) {
      libraries.push_back(line.substr(at + marker.size()));
    }
  }
  return libraries;
}

// Libraries every Windows installation has; anything else would have to be
// shipped beside the module.
constexpr std::string_view windows_system_libraries[] = {"kernel32.dll", "msvcrt.dll",  "ucrtbase.dll", "user32.dll",
                                                         "advapi32.dll", "shell32.dll", "bcrypt.dll"};

bool is_windows_system_library(const std::string& name) {
  std::string lower;
  for (const char c : name) {
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return lower.starts_with("api-ms-win-crt-") ||
         std::find(std::begin(windows_system_libraries), std::end(windows_system_libraries), lower) !=
             std::end(windows_system_libraries);
}

std::string file_bytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class WindowsBuild : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(module_path())) {
      GTEST_SKIP() << "no Windows build in " << windows_build_dir();
    }
  }
};

TEST_F(WindowsBuild, ModuleExportsExactlyTheTwoEntryPoints) {
  for (const fs::path& module : module_paths()) {
    EXPECT_EQ(exported_names(module), (std::vector<std::string>{"EffectMain", "PluginDataEntryFunction"})) << module;
  }
}

TEST_F(WindowsBuild, BinariesImportOnlyWindowsSystemLibraries) {
  for (const char* name : {"Shardcast.aex", "shardcast.exe", "shardcast_wine_driver.exe"}) {
    const fs::path binary = windows_build_dir() / "bin" / name;
    if (!fs::exists(binary)) {
      continue;  // the tools are optional; the module is not
    }
    const std::vector<std::string> libraries = imported_libraries(binary);
    EXPECT_FALSE(libraries.empty()) << name;
    for (const std::string& library : libraries) {
      EXPECT_TRUE(is_windows_system_library(library)) << name << " imports " << library;
    }
  }
}

TEST_F(WindowsBuild, ModuleCarriesOnePiplResourceInUsEnglish) {
  for (const fs::path& module : module_paths()) {
    const std::vector<std::string> resources = lines_of(run(std::string(SHARDCAST_WRESTOOL) + " -l " + quoted(module)));
    ASSERT_EQ(resources.size(), 1u) << module;
    EXPECT_TRUE(resources[0].starts_with("--type='PIPL' --name=16000 --language=1033 ")) << resources[0];
  }
}

TEST_F(WindowsBuild, PiplResourceEqualsTheBytesOfTheLinuxBuild) {
  const std::string expected = file_bytes(SHARDCAST_LINUX_PIPL_FILE);
  ASSERT_FALSE(expected.empty());
  for (const fs::path& module : module_paths()) {
    const std::string resource =
        run(std::string(SHARDCAST_WRESTOOL) + " -x --raw --type=PIPL --name=16000 --language=1033 " + quoted(module));
    EXPECT_EQ(resource, expected) << module;
  }
}

}  // namespace
