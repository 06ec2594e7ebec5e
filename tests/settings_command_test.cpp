// --settings and `params --save`, run as a user runs them: a file renders
// what the same options render, options given beside it win, a bad file
// stops the tool with one line, a saved file renders what the command line
// it was saved from renders, and each shipped look still makes the picture
// the README shows for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::testing {
namespace {

class SettingsCommand : public ScratchFolder {
 protected:
  SettingsCommand() : ScratchFolder("shardcast-settings") {}

  ProgramRun run(const std::vector<std::string>& arguments) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return run_program(folder_, words);
  }

  void write(const std::string& name, const std::string& text) const { std::ofstream(file(name)) << text; }

  // The picture a render writes, or "" when it failed.
  std::string render(std::vector<std::string> arguments) const {
    std::filesystem::remove(file("out.png"));
    arguments.insert(arguments.begin(), {"render", "--sample-size", "96x64", "-o", "out.png", "-q"});
    const ProgramRun outcome = run(arguments);
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    return slurp(file("out.png"));
  }
};

TEST_F(SettingsCommand, AFileRendersWhatItsOptionsRenderAndOptionsBesideItWin) {
  write("look.toml", "broken-bytes = 9\nseed = 4\nqtl = true\nqtl-position = 2\nqtl-value = \"60\"\n");
  const std::string from_file = render({"--settings", "look.toml"});
  ASSERT_FALSE(from_file.empty());
  EXPECT_EQ(from_file,
            render({"--broken-bytes", "9", "--seed", "4", "--qtl", "on", "--qtl-position", "2", "--qtl-value", "60"}));
  // Before or after --settings on the line, an option replaces the file's value.
  const std::string overridden =
      render({"--broken-bytes", "9", "--seed", "4", "--qtl", "off", "--qtl-position", "2", "--qtl-value", "60"});
  EXPECT_EQ(render({"--qtl", "off", "--settings", "look.toml"}), overridden);
  EXPECT_EQ(render({"--settings", "look.toml", "--qtl", "off"}), overridden);
  EXPECT_NE(overridden, from_file);
}

TEST_F(SettingsCommand, ABadFileStopsTheToolWithOneLineNamingFileLineAndKey) {
  write("range.toml", "# too many\n\nbroken-bytes = 20000\n");
  write("name.toml", "seed = 2\nbroken_bytes = 3\n");
  write("syntax.toml", "seed = 2\nqtl = on\n");
  const struct {
    const char* file;
    const char* line;
  } refused[] = {
      {"range.toml", "shardcast: range.toml:3: broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between"},
      {"name.toml", "shardcast: name.toml:2: \"broken_bytes\" is no parameter"},
      {"syntax.toml", "shardcast: syntax.toml:2: "},
      {"missing.toml", "shardcast: cannot read missing.toml: No such file or directory"},
      {"no-such-look", "shardcast: --settings no-such-look: no such file, and no look of that name (the looks: "},
  };
  for (const auto& r : refused) {
    const ProgramRun outcome = run({"render", "-o", "out.png", "--settings", r.file});
    EXPECT_EQ(outcome.exit_code, 2) << r.file;
    EXPECT_TRUE(outcome.err.starts_with(r.line)) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(file("out.png")));
  }
}

TEST_F(SettingsCommand, ASavedFileRendersWhatItsCommandLineRenders) {
  const std::vector<std::string> values = {"--broken-bytes",  "0@0,40@10", "--glitch-end", "99.9", "--filter2", "on",
                                           "--filter2-value", "-0.1",      "--seed",       "7",    "--frames",  "5"};
  ProgramRun saved = run({"params", "--save", "saved.toml", "--broken-bytes", "0@0,40@10", "--glitch-end", "99.9",
                          "--filter2", "on", "--filter2-value", "-0.1", "--seed", "7"});
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_EQ(saved.err, "shardcast: params: 5 values saved to saved.toml\n");
  EXPECT_EQ(render({"--settings", "saved.toml", "--frames", "5"}), render(values));

  // A file saved from another, with one value changed on the way.
  saved = run({"params", "--save", "saved.toml", "--settings", "saved.toml", "--seed", "8"});
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  const std::string text = slurp(file("saved.toml"));
  EXPECT_NE(text.find("\nseed = 8 "), std::string::npos) << text;
  EXPECT_NE(text.find("\nbroken-bytes = \"0@0,40@10\" "), std::string::npos) << text;
}

TEST_F(SettingsCommand, SavingRefusesWhatTheRenderWouldRefuse) {
  const struct {
    std::vector<std::string> arguments;
    const char* line;
  } refused[] = {
      {{"params", "--save", "s.toml", "--seed", "0"}, "shardcast: --seed (\"seed\" in \"Broken bytes\") must lie"},
      {{"params", "--seed", "3"}, "shardcast: parameter values and --settings go with --save FILE"},
      {{"params", "--save", "no/such/folder/s.toml", "--seed", "3"}, "shardcast: cannot write no/such/folder/s.toml: "},
  };
  for (const auto& r : refused) {
    const ProgramRun outcome = run(r.arguments);
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_TRUE(outcome.err.starts_with(r.line)) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(file("s.toml")));
  }
}

// The README's contact sheet shows each look on the sample frame; each
// picture there is the one the tool makes now.
TEST_F(SettingsCommand, EachLookMakesThePictureTheReadmeShows) {
  const std::filesystem::path pictures = std::filesystem::path(SHARDCAST_SOURCE_DIR) / "docs" / "pictures";
  int looks = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SHARDCAST_SOURCE_DIR) / "looks")) {
    const std::string name = entry.path().stem().string();
    const ProgramRun outcome = run({"render", "--sample-size", "320x180", "-o", "look.png", "-q", "--settings", name});
    ASSERT_EQ(outcome.exit_code, 0) << name << ": " << outcome.err;
    EXPECT_EQ(slurp(file("look.png")), slurp(pictures / ("look-" + name + ".png"))) << name;
    ++looks;
  }
  EXPECT_GE(looks, 4);
}

}  // namespace
}  // namespace shardcast::testing
