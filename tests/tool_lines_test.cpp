// Every line the shardcast tool leaves on standard error is its own: one
// line each, beginning "shardcast: ", names with control characters
// escaped, FFmpeg's and the encoders' own prints turned into such lines at
// their level, and -q / -v choosing how many show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cli/messages/output_capture.h"
#include "cli/messages/tool_log.h"
#include "cli/pictures/image.h"
#include "cli/video/video.h"
#include "support/memory_cap.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

using testing::lines_of;
using testing::ProgramRun;

// Every line begins with the tool's name, and the text ends with a newline.
::testing::AssertionResult all_ours(const std::string& err) {
  for (const std::string& line : lines_of(err)) {
    if (!line.starts_with("shardcast: ")) {
      return ::testing::AssertionFailure() << "a line not ours: \"" << line << "\" in\n" << err;
    }
  }
  if (!err.empty() && err.back() != '\n') {
    return ::testing::AssertionFailure() << "a cut line in\n" << err;
  }
  return ::testing::AssertionSuccess();
}

TEST(ToolLines, ControlCharactersAreShownEscaped) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain name.png", "plain name.png"},
      {"a\nb.png", "a\\nb.png"},
      {"tab\there\rback", "tab\\there\\rback"},
      {"\x1b[31mred\x7f", "\\x1B[31mred\\x7F"},
      {"csi \xC2\x9B"
       "2J",
       "csi \\u009B2J"},
      {"caf\xC3\xA9 \xE2\x86\x92 ok", "caf\xC3\xA9 \xE2\x86\x92 ok"},  // UTF-8 text stays as it is
      {std::string("nul\0end", 7), "nul\\x00end"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escaped(c.text), c.shown);
  }
}

// What an encoder library prints by itself comes out as the tool's lines,
// each at its level.
TEST(ToolLines, LibraryPrintsBecomeLinesAtTheirLevel) {
  const std::string printed =
      "x265 [info]: HEVC encoder version 3.5\n"
      "x265 [warning]: Source height < 720p; disabling lookahead-slices\n"
      "x264 [error]: malloc of size 189416448 failed\n"
      "encoded 10 frames in 0.01s\n"
      "shardcast: a line of the tool's own\n"
      "\n";
  const struct {
    Verbosity verbosity;
    std::string shown;
  } cases[] = {
      {Verbosity::Quiet,
       "shardcast: x264: malloc of size 189416448 failed\n"
       "shardcast: a line of the tool's own\n"},
      {Verbosity::Normal,
       "shardcast: warning: x265: Source height < 720p; disabling lookahead-slices\n"
       "shardcast: x264: malloc of size 189416448 failed\n"
       "shardcast: a line of the tool's own\n"},
      {Verbosity::Verbose,
       "shardcast: x265: HEVC encoder version 3.5\n"
       "shardcast: warning: x265: Source height < 720p; disabling lookahead-slices\n"
       "shardcast: x264: malloc of size 189416448 failed\n"
       "shardcast: encoded 10 frames in 0.01s\n"
       "shardcast: a line of the tool's own\n"},
  };
  for (const auto& c : cases) {
    set_verbosity(c.verbosity);
    OutputCapture capture(stderr);
    ASSERT_EQ(capture.start(), "");
    relay_library_output(printed);
    std::string shown;
    ASSERT_EQ(capture.release(shown), "");
    EXPECT_EQ(shown, c.shown);
  }
  set_verbosity(Verbosity::Normal);
}

class ToolLinesOfRuns : public testing::ScratchFolder {
 protected:
  ToolLinesOfRuns() : ScratchFolder("shardcast-lines") {}

  ProgramRun tool(const std::vector<std::string>& arguments,
                  const testing::ProgramEnvironment& environment = {}) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words, environment);
  }
};

TEST_F(ToolLinesOfRuns, ANameWithANewlineStaysOnOneLine) {
  const ProgramRun missing = tool({"render", "a\nb.png", "-o", "out\x1b.png"});
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.err, "shardcast: cannot read a\\nb.png: No such file or directory\n");
  const ProgramRun output = tool({"render", "-o", "new\nline.bmp"});
  EXPECT_EQ(output.exit_code, 2);
  EXPECT_TRUE(all_ours(output.err));
  EXPECT_EQ(lines_of(output.err).size(), 1u) << output.err;
}

TEST_F(ToolLinesOfRuns, QuietShowsErrorsOnlyAndVerboseAddsTheLibrariesNotes) {
  ASSERT_TRUE(write_image(file("in.png").string(), Image::filled(20, 20, 5, 6, 7, 255)).ok());
  // A render that earns a hint and a summary.
  const ProgramRun normal = tool({"render", "in.png", "-o", "out.png"});
  ASSERT_EQ(normal.exit_code, 0);
  EXPECT_EQ(lines_of(normal.err).size(), 2u) << normal.err;
  for (const char* quiet : {"-q", "--quiet"}) {
    const ProgramRun run = tool({"render", "in.png", "-o", "out.png", quiet});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "") << quiet;
  }
  const ProgramRun refused = tool({"render", "in.png", "-o", "out.png", "-q", "--quality", "200"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_EQ(lines_of(refused.err).size(), 1u) << refused.err;
  const ProgramRun both = tool({"render", "in.png", "-o", "out.png", "-q", "-v"});
  EXPECT_EQ(both.err, "shardcast: give -q (--quiet) or -v (--verbose), not both\n");
  EXPECT_EQ(tool({"decode", "missing.jpg", "-o", "out.png", "--quiet"}).err,
            "shardcast: cannot read missing.jpg: No such file or directory\n");
}

// libx264 and libx265 talk through FFmpeg's log, and x265 (and x264, when
// memory runs out) also print by themselves: either way only the tool's
// lines reach standard error, and their notes only when asked for.
TEST_F(ToolLinesOfRuns, EncoderLibrariesLeaveOnlyTheToolsLines) {
  if (!video_supported()) {
    GTEST_SKIP() << "this build reads and writes no video";
  }
  // x265 3.5 loses a block of its own between opening and closing an
  // encoder; the leak checker of sanitizer builds is told so.
  const std::filesystem::path suppressions = folder_.string() + ".leaks";
  std::ofstream(suppressions) << "leak:libx265.so\n";
  testing::ProgramEnvironment environment;
  environment.set = {"LSAN_OPTIONS=print_suppressions=0:suppressions=" + suppressions.string()};
  for (const char* codec : {"libx264", "libx265"}) {
    const ProgramRun plain =
        tool({"render", "-o", "out.mkv", "--sample-size", "64x48", "--frames", "0-4", "--codec", codec}, environment);
    if (plain.err.find("has no encoder called") != std::string::npos) {
      continue;  // an FFmpeg built without it
    }
    EXPECT_EQ(plain.exit_code, 0) << codec << ": " << plain.err;
    EXPECT_TRUE(all_ours(plain.err)) << codec;
    EXPECT_EQ(plain.err.find("x265: HEVC encoder version"), std::string::npos) << plain.err;
    const ProgramRun verbose =
        tool({"render", "-o", "out.mkv", "--sample-size", "64x48", "--frames", "0-4", "--codec", codec, "-v"},
             environment);
    EXPECT_EQ(verbose.exit_code, 0) << codec;
    EXPECT_TRUE(all_ours(verbose.err)) << codec;
    EXPECT_GT(lines_of(verbose.err).size(), lines_of(plain.err).size()) << verbose.err;
    // The summary comes last: nothing of the encoder's follows it.
    EXPECT_EQ(lines_of(verbose.err).back().rfind("shardcast: render: 5 frames", 0), 0u) << verbose.err;
  }
  // x264 out of memory for a large frame prints its own line. (Under
  // AddressSanitizer the cap is per allocation, which x264's stays under.)
#if !defined(__SANITIZE_ADDRESS__)
  const ProgramRun starved = testing::run_capped(folder_, {SHARDCAST_CLI_PATH, "render", "-o", "big.mp4",
                                                           "--sample-size", "6000x6000", "--frames", "0-1"});
  EXPECT_EQ(starved.exit_code, 2);
  EXPECT_TRUE(all_ours(starved.err));
  EXPECT_FALSE(std::filesystem::exists(file("big.mp4")));
#endif
  std::filesystem::remove(suppressions);
}

// The bar's last rate is the closing line's, though the encoder writes
// its last frames (x264 holds a few dozen) after the last one is rendered.
TEST_F(ToolLinesOfRuns, TheProgressBarsLastRateIsTheClosingLines) {
  if (!video_supported()) {
    GTEST_SKIP() << "this build reads and writes no video";
  }
  const std::string shown =
      testing::run_on_a_terminal(folder_, {SHARDCAST_CLI_PATH, "render", "-o", "out.mp4", "--sample-size", "320x240",
                                           "--frames", "0-59", "--jobs", "1"})
          .err;
  const std::size_t summary = shown.find("shardcast: render: 60 frames");
  ASSERT_NE(summary, std::string::npos) << shown;
  const std::regex rate("([0-9.]+) frames/s");
  std::smatch closing;
  const std::string line = shown.substr(summary);
  ASSERT_TRUE(std::regex_search(line, closing, rate)) << line;
  const std::string bar = shown.substr(0, summary);
  const std::size_t last_draw = bar.rfind("\r[");
  ASSERT_NE(last_draw, std::string::npos) << shown;
  std::smatch drawn;
  const std::string last = bar.substr(last_draw);
  ASSERT_TRUE(std::regex_search(last, drawn, rate)) << last;
  EXPECT_EQ(drawn[1].str(), closing[1].str()) << shown;
  EXPECT_NE(last.find("60/60 frames"), std::string::npos) << last;
}

}  // namespace
}  // namespace shardcast::cli
