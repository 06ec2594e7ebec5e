// What the frei0r filter's tests that compare frames with the tool share: a
// fresh folder to run programs in with FREI0R_PATH pointing at the filter,
// frei0r values with damage, table tampering and a filter together with the
// tool options for the same render, and the check that a host's frames are
// the tool's renders of the same input frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/pictures/image.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::testing {

// frei0r values with damage, table tampering and a filter, and the values
// the tool must be given for the same render, worked out by hand from the
// registered ranges (min + x * (max - min), rounded to the shown decimals).
// clang-format off
inline const std::vector<double> glitch_values = {
    0.6,    // Compression ratio: 60.4 -> 60
    0.004,  // Broken bytes: 40
    0.1,    // start of glitch: 9.99
    0.9,    // end of glitch: 90.01
    0.25,   // broken bytes seed: 25000000.75 -> 25000001
    1,      // QTC on
    0.5,    // QTC position: 32.5 -> 33
    0.2,    // QTC value: 51
    0.1,    // chroma breaking bytes: 6.4 -> 6
    0.5,    // chroma max random value: 127.5 -> 128
    0.01,   // chroma seed: 1000000.99 -> 1000001
    0,      // QTL off
    0.0634920634920635,  // QTL position: the default, 5
    0, 0, 0, 0,          // QTL value, breaking bytes, max random value, seed: defaults
    1, 1, 1,             // Inverse DCT, YCbCrToRGB, Dequantize on
    1,                   // filter 1 on
    0.6,                 // filter 1 value: 2
    0,                   // filter 2 off
    0.495,               // filter 2 value: the default, -0.1
};
// clang-format on
// clang-format off
inline const std::vector<std::string> glitch_tool_options = {
    "--compression-ratio", "60",   "--broken-bytes",       "40",   "--glitch-start",   "9.99",
    "--glitch-end",        "90.01", "--seed",              "25000001", "--qtc",        "on",
    "--qtc-position",      "33",   "--qtc-value",          "51",   "--qtc-breaking-bytes", "6",
    "--qtc-max-random",    "128",  "--qtc-seed",           "1000001", "--filter1",     "on",
    "--filter1-value",     "2"};
// clang-format on

inline std::vector<std::string> tool_render(const std::string& input, const std::string& output,
                                            const std::vector<std::string>& options) {
  std::vector<std::string> words = {SHARDCAST_CLI_PATH, "render", input, "-o", output};
  words.insert(words.end(), options.begin(), options.end());
  return words;
}

// prefix_01.png ... : the file of one frame of a numbered sequence.
inline std::string frame_file(const char* prefix, int frame) {
  char number[8];
  std::snprintf(number, sizeof number, "%02d", frame);
  return std::string(prefix) + number + ".png";
}

class Frei0rFiles : public ScratchFolder {
 protected:
  Frei0rFiles() : ScratchFolder("shardcast-frei0r") {}

  // Runs a program (found on PATH) in the folder with extra environment
  // entries; standard output and error are captured.
  ProgramRun run(std::vector<std::string> words, const std::vector<std::string>& environment = {},
                 int time_limit_seconds = 0) const {
    ProgramEnvironment settings;
    settings.time_limit_seconds = time_limit_seconds;
    settings.unset = {"SHARDCAST_FREI0R_MESSAGES"};
    settings.set = {std::string("FREI0R_PATH=") + SHARDCAST_FREI0R_DIR};
    settings.set.insert(settings.set.end(), environment.begin(), environment.end());
    return run_program(folder_, std::move(words), settings);
  }

  // The ten frames a host wrote (out_01.png ...) against the tool's renders
  // of the same input frames (in_01.png ...) with the same values.
  void expect_frames_equal_tool_renders(const ProgramRun& host) const {
    std::vector<std::string> words = tool_render("in_%02d.png", "tool_%02d.png", glitch_tool_options);
    words.insert(words.end(), {"--frames", "1-10"});
    const ProgramRun tool = run(words);
    ASSERT_EQ(tool.exit_code, 0) << tool.err;
    for (int frame = 1; frame <= 10; ++frame) {
      ASSERT_TRUE(std::filesystem::exists(file(frame_file("out_", frame)))) << host.err.substr(0, 600);
      const cli::Image input = picture(frame_file("in_", frame));
      const cli::Image ours = picture(frame_file("out_", frame));
      ASSERT_EQ(ours.width, input.width);
      ASSERT_EQ(ours.height, input.height);
      EXPECT_NE(ours.rgba, input.rgba) << "frame " << frame << " came through unglitched";
      EXPECT_EQ(ours.rgba, picture(frame_file("tool_", frame)).rgba) << "frame " << frame;
    }
  }

  cli::Image picture(const std::string& name) const {
    cli::Image image;
    const cli::ImageResult read = cli::read_image(file(name).string(), image);
    EXPECT_TRUE(read.ok()) << name << ": " << read.error;
    return image;
  }
};

}  // namespace shardcast::testing
