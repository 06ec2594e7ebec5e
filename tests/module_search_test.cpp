// The tool's search for the effect module: which of the option, the
// environment variable, the place beside the program, the installed place
// and the build's module wins, and what a refusal names. Each case lays out
// files in a fresh folder.
#include "cli/effect/module_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

class ModuleSearch : public testing::ScratchFolder {
 protected:
  ModuleSearch() : ScratchFolder("shardcast-search") {}

  // A build that puts the program in build/cli and the module in build/host,
  // and installs the module in lib/shardcast beside bin/.
  ModuleLayout layout() const {
    return {"Shardcast.so", "../lib/shardcast", folder_ / "build/cli", folder_ / "build/host/Shardcast.so"};
  }
  void make_file(const std::string& relative) const {
    fs::create_directories((folder_ / relative).parent_path());
    std::ofstream(folder_ / relative) << "module";
  }
  std::string at(const std::string& relative) const { return (folder_ / relative).lexically_normal().string(); }
};

struct FoundCase {
  const char* name;
  std::vector<std::string> files;  // relative to the case's folder
  std::string option;              // relative, or empty for none
  std::string variable;            // relative, or empty for none
  std::string program;             // relative
  std::string expected;            // relative
};

TEST_F(ModuleSearch, TakesTheFirstPlaceThatHoldsTheModule) {
  const FoundCase cases[] = {
      {"the option before everything",
       {"usr/bin/Shardcast.so"},
       "given.so",
       "variable.so",
       "usr/bin/shardcast",
       "given.so"},
      {"the variable before the places",
       {"usr/bin/Shardcast.so"},
       "",
       "variable.so",
       "usr/bin/shardcast",
       "variable.so"},
      {"beside the program before the installed place",
       {"usr/bin/Shardcast.so", "usr/lib/shardcast/Shardcast.so"},
       "",
       "",
       "usr/bin/shardcast",
       "usr/bin/Shardcast.so"},
      {"the installed place",
       {"usr/lib/shardcast/Shardcast.so"},
       "",
       "",
       "usr/bin/shardcast",
       "usr/lib/shardcast/Shardcast.so"},
      {"the installed place before the build's module",
       {"build/lib/shardcast/Shardcast.so", "build/host/Shardcast.so"},
       "",
       "",
       "build/cli/shardcast",
       "build/lib/shardcast/Shardcast.so"},
      {"the build's module for the program in its build folder",
       {"build/host/Shardcast.so"},
       "",
       "",
       "build/cli/shardcast",
       "build/host/Shardcast.so"},
      {"the build folder however it is spelt",
       {"build/host/Shardcast.so"},
       "",
       "",
       "build/host/../cli/shardcast",
       "build/host/Shardcast.so"},
  };
  for (const FoundCase& test : cases) {
    SCOPED_TRACE(test.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    make_file(test.program);
    for (const std::string& file : test.files) {
      make_file(file);
    }
    auto given = [&](const std::string& relative) { return relative.empty() ? relative : at(relative); };
    const ModuleLocation found =
        find_module(layout(), given(test.option), given(test.variable), folder_ / test.program);
    EXPECT_EQ(found.failure, "");
    EXPECT_EQ(fs::path(found.path).lexically_normal().string(), at(test.expected));
  }
}

TEST_F(ModuleSearch, AFolderOfTheModulesNameIsNoModule) {
  fs::create_directories(folder_ / "usr/bin/Shardcast.so");
  make_file("usr/lib/shardcast/Shardcast.so");
  EXPECT_EQ(find_module(layout(), "", "", folder_ / "usr/bin/shardcast").path, at("usr/lib/shardcast/Shardcast.so"));
}

TEST_F(ModuleSearch, ACopiedProgramWithoutAModuleNamesBothPlacesInOneLine) {
  make_file("build/host/Shardcast.so");  // a build elsewhere is never used
  const ModuleLocation found = find_module(layout(), "", "", folder_ / "copied/bin/shardcast");
  EXPECT_EQ(found.path, "");
  EXPECT_EQ(found.failure, "no effect module found at " + at("copied/bin/Shardcast.so") + " or " +
                               at("copied/lib/shardcast/Shardcast.so") +
                               " (give its path with --module or SHARDCAST_MODULE)");
}

TEST_F(ModuleSearch, TheProgramInItsBuildFolderNamesAllThreePlaces) {
  make_file("build/cli/shardcast");
  const ModuleLocation found = find_module(layout(), "", "", folder_ / "build/cli/shardcast");
  EXPECT_EQ(found.path, "");
  EXPECT_NE(found.failure.find(at("build/cli/Shardcast.so") + ", " + at("build/lib/shardcast/Shardcast.so") + " or " +
                               at("build/host/Shardcast.so")),
            std::string::npos)
      << found.failure;
}

TEST_F(ModuleSearch, AProgramThatCannotTellWhereItIsLooksNowhere) {
  const ModuleLocation found = find_module(layout(), "", "", fs::path());
  EXPECT_EQ(found.path, "");
  EXPECT_NE(found.failure.find("cannot tell where this program is"), std::string::npos);
  EXPECT_EQ(found.failure.find('\n'), std::string::npos);
}

TEST_F(ModuleSearch, AnInstalledPlaceBesideTheProgramIsLookedAtOnce) {
  ModuleLayout beside = layout();
  beside.installed_folder_from_program = ".";
  EXPECT_EQ(module_search_places(beside, folder_ / "bin/shardcast"),
            std::vector<fs::path>{folder_ / "bin/Shardcast.so"});
}

}  // namespace
}  // namespace shardcast::cli
