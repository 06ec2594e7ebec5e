// `shardcast render` where a file's header or the user's numbers ask for
// more than can be had: crafted clips are refused before FFmpeg allocates
// what they claim, frames beyond the host's clock before the first frame,
// the seed is stepped over the frames a clip holds rather than a guess, and
// a container whose clock is too coarse for the frames is refused naming
// one that is not. Clips are made here by Debian's ffmpeg and patched byte
// by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/clip_folder.h"

namespace shardcast::cli {
namespace {

using testing::ProgramRun;

class Limits : public testing::ClipFolder {
 protected:
  Limits() : ClipFolder("shardcast-limits") {}

  // Writes `to` over every place `from` occurs in the file `from_name`,
  // into `to_name`.
  void patch(const std::string& from_name, const std::string& to_name,
             const std::vector<std::pair<std::string, std::string>>& changes) const {
    std::string bytes = testing::slurp(file(from_name));
    for (const auto& [from, to] : changes) {
      ASSERT_EQ(from.size(), to.size());
      const std::size_t at = bytes.find(from);
      ASSERT_NE(at, std::string::npos) << from_name;
      bytes.replace(at, from.size(), to);
    }
    std::ofstream(file(to_name), std::ios::binary) << bytes;
  }
};

// One line on standard error, as the tool words its refusals.
void expect_one_line(const ProgramRun& result, const std::string& part) {
  EXPECT_EQ(result.exit_code, 2) << result.err;
  EXPECT_EQ(result.err.rfind("shardcast: ", 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
}

TEST_F(Limits, HeadersClaimingHugeFramesAreRefusedBeforeFFmpegAllocatesThem) {
  // A 4x4 BMP whose header says 16000x16000 (width and height at bytes
  // 18 to 25), and an FFV1 clip whose Matroska track header says the same
  // (PixelWidth and PixelHeight elements, two bytes of value each).
  make({"-f", "lavfi", "-i", "color=c=red:size=4x4", "-frames:v", "1", "-pix_fmt", "bgr24", "tiny.bmp"});
  std::string bmp = testing::slurp(file("tiny.bmp"));
  ASSERT_GT(bmp.size(), 26u);
  bmp.replace(18, 8, std::string("\x80\x3e\x00\x00\x80\x3e\x00\x00", 8));
  std::ofstream(file("huge.bmp"), std::ios::binary) << bmp;
  make({"-f", "lavfi", "-i", "testsrc2=size=256x256:rate=10", "-frames:v", "2", "-c:v", "ffv1", "small.mkv"});
  patch("small.mkv", "huge.mkv",
        {{std::string("\xb0\x82\x01\x00", 4), std::string("\xb0\x82\x3e\x80", 4)},
         {std::string("\xba\x82\x01\x00", 4), std::string("\xba\x82\x3e\x80", 4)}});
  const std::vector<std::string> made = files();
  // What the tool takes to start and stop, in this build (the sanitizers'
  // runtime and shadow take far more than a plain build's few megabytes).
  const long started = run({SHARDCAST_CLI_PATH, "--version"}).peak_resident_kb;

  const struct {
    std::vector<std::string> arguments;
    std::string line;
  } refused[] = {
      {{"huge.bmp", "-o", "out.mp4"},
       "cannot read huge.bmp: the frame size of its video is unknown or beyond the limit"},
      {{"huge.bmp", "-o", "out.mp4", "--max-pixels", "100"}, "beyond the limit of 100 pixels"},
      {{"huge.mkv", "-o", "out.mp4"}, "cannot read huge.mkv: each frame of 16000x16000 pixels is too large"},
      {{"huge.mkv", "-o", "out.mp4", "--max-pixels", "100"}, "the limit is 100 pixels"},
  };
  for (const auto& r : refused) {
    const ProgramRun result = tool(r.arguments);
    expect_one_line(result, r.line);
    // Probing a 16000x16000 frame would take hundreds of megabytes more.
    EXPECT_LT(result.peak_resident_kb, started + 64 * 1024) << r.line;
    EXPECT_EQ(files(), made);
  }
  const ProgramRun small = tool({"small.mkv", "-o", "out.mkv", "--max-pixels", "65536"});
  EXPECT_EQ(small.exit_code, 0) << small.err;
}

TEST_F(Limits, FramesWiderThanTheHostsLayersAreRefusedNotRendered) {
  make({"-f", "lavfi", "-i", "color=size=30002x2", "-frames:v", "1", "wide.png"});
  make({"-f", "lavfi", "-i", "color=size=30002x2", "-frames:v", "2", "-c:v", "ffv1", "wide.mkv"});
  const std::vector<std::string> made = files();
  for (const std::string input : {"wide.png", "wide.mkv"}) {
    expect_one_line(tool({input, "-o", "out_%d.png", "--frames", "0-1"}),
                    "of 30002x2 pixels is larger than the host's largest layer");
    EXPECT_EQ(files(), made);
  }
}

TEST_F(Limits, FramesBeyondTheHostsClockAreRefusedBeforeTheFirst) {
  const struct {
    std::vector<std::string> arguments;
    std::string line;
  } refused[] = {
      // Frame 2145338 starts on the 32-bit clock at 30000/1001 fps, but ends
      // past it.
      {{"-o", "one.png", "--frames", "2145338", "--fps", "30000/1001"},
       "frame 2145338 lies beyond the host's time at 30000/1001 frames per second: its 32-bit clock holds frames 0 "
       "to 2145337"},
      // Only frame 0 fits at this rate: nothing is rendered.
      {{"-o", "out_%d.png", "--frames", "0-3", "--fps", "2147483647/2147483646"},
       "frame 3 lies beyond the host's time at 2147483647/2147483646 frames per second: its 32-bit clock holds frame "
       "0 only"},
  };
  for (const auto& r : refused) {
    expect_one_line(tool(r.arguments), r.line);
    EXPECT_EQ(files(), std::vector<std::string>{});
  }
  for (const std::vector<std::string>& fits : {std::vector<std::string>{"--frames", "2145337", "--fps", "30000/1001"},
                                               {"--frames", "0", "--fps", "2147483647/2147483646"}}) {
    std::vector<std::string> arguments = {"-o", "last.png", "--sample-size", "16x16"};
    arguments.insert(arguments.end(), fits.begin(), fits.end());
    const ProgramRun rendered = tool(arguments);
    EXPECT_EQ(rendered.exit_code, 0) << rendered.err;
  }
}

TEST_F(Limits, SeedStepsOverTheFramesTheClipHolds) {
  // Three frames a million seconds apart: their duration suggested 75
  // million frames once.
  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=1/1000000", "-frames:v", "3", "slow.y4m"});
  const ProgramRun slow = tool({"slow.y4m", "-o", "slow_%d.png", "--seed-step", "3"});
  EXPECT_EQ(slow.exit_code, 0) << slow.err;
  EXPECT_NE(slow.err.find("3 frames"), std::string::npos) << slow.err;

  // A Matroska clip declares no count, and this one's last frame lies ten
  // seconds on (251 frames at its 25 fps): its five frames are counted, so
  // the seed steps as far as frame 4, and is refused before any frame when
  // frame 4's is out of range.
  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=25", "-frames:v", "5", "-vf", "setpts='if(eq(N,4),250,N)'",
        "-fps_mode", "passthrough", "-c:v", "ffv1", "gap.mkv"});
  const ProgramRun counted = tool({"gap.mkv", "-o", "gap_%d.png", "--seed", "99999988", "--seed-step", "3"});
  EXPECT_EQ(counted.exit_code, 0) << counted.err;
  EXPECT_NE(counted.err.find("5 frames"), std::string::npos) << counted.err;
  const std::vector<std::string> made = files();
  expect_one_line(tool({"gap.mkv", "-o", "out.mkv", "--seed", "99999990", "--seed-step", "3"}),
                  "frame 4: --seed-step makes the seed 100000002");
  EXPECT_EQ(files(), made);
}

TEST_F(Limits, AContainerClockTooCoarseForTheFramesIsRefusedNamingOneThatHoldsThem) {
  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=100000", "-frames:v", "4", "fast.y4m"});
  const std::vector<std::string> made = files();
  expect_one_line(tool({"fast.y4m", "-o", "fast.mkv"}),
                  "cannot write fast.mkv: a .mkv file counts time in steps of 1/1000 s, too coarse for frames "
                  "1/100000 s apart: choose .mov or .mp4");
  expect_one_line(tool({"-o", "pictures.gif", "--frames", "0-2", "--fps", "200", "--sample-size", "16x16"}),
                  "a .gif file counts time in steps of 1/100 s, too coarse for frames 1/200 s apart");
  EXPECT_EQ(files(), made);

  // .mp4 keeps the frames 10 microseconds apart, and their rate.
  const ProgramRun kept = tool({"fast.y4m", "-o", "fast.mp4"});
  ASSERT_EQ(kept.exit_code, 0) << kept.err;
  const std::string times = probe("fast.mp4", {"-show_entries", "frame=pts_time"});
  for (const char* time : {"0.000000", "0.000010", "0.000020", "0.000030"}) {
    EXPECT_NE(times.find(time), std::string::npos) << times;
  }
  EXPECT_EQ(probe("fast.mp4", {"-show_entries", "stream=avg_frame_rate"}), "100000/1\n");
}

}  // namespace
}  // namespace shardcast::cli
