// `shardcast render` of a part of a clip: the part is sought, not decoded
// from the clip's start, and its frames are byte for byte the same frames
// of a render of the whole clip, with their numbers (keyed values, a
// stepped seed) and times, on H.264 with B-frames and open GOPs, in MP4,
// Matroska, MPEG-TS and AVI, with a frame dropped. Open-ended ranges run
// to the end of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/clip_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;

// Damage that differs from frame to frame by number.
const std::vector<std::string> keyed = {"--broken-bytes", "0@0,60@99", "--seed-step", "7", "--qtl", "off@0,on@50"};

// Key frames every 12 frames, open GOPs, 3 B-frames: frames after a key
// frame in decoding order are shown before it and refer to the GOP before.
const std::vector<std::string> open_gops = {"-c:v", "libx264", "-x264-params",
                                            "open-gop=1:bframes=3:b-pyramid=normal:keyint=12:min-keyint=12:scenecut=0"};

class ClipParts : public testing::ClipFolder {
 protected:
  ClipParts() : ClipFolder("shardcast-parts") {}

  // Renders into a folder of its own, frame by frame as PNG files.
  ProgramRun render_into(const std::string& folder, const std::string& clip, std::vector<std::string> range) const {
    fs::create_directory(file(folder));
    range.insert(range.begin(), {clip, "-o", folder + "/f_%03d.png", "-v"});
    return tool(range, keyed);
  }

  // The frame numbers a folder holds, each checked byte for byte against
  // the whole render's.
  std::vector<int> same_as_whole(const std::string& folder) const {
    std::vector<int> numbers;
    for (const std::string& name : names_in(folder)) {
      EXPECT_EQ(testing::slurp(file(folder) / name), testing::slurp(file("whole") / name)) << folder << "/" << name;
      numbers.push_back(std::stoi(name.substr(2, 3)));
    }
    return numbers;
  }

  std::vector<std::string> names_in(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(file(folder))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::vector<int> frames_from(int first, int last) {
  std::vector<int> numbers;
  for (int n = first; n <= last; ++n) {
    numbers.push_back(n);
  }
  return numbers;
}

// The frame decoding began at, as -v tells it; -1 when it does not.
int decoding_began(const std::string& err) {
  const std::string marker = "decoding began at frame ";
  const std::size_t at = err.find(marker);
  return at == std::string::npos ? -1 : std::stoi(err.substr(at + marker.size()));
}

TEST_F(ClipParts, APartIsTheSameFramesAsTheWholeRenderAndIsSought) {
  // 100 frames at 25 fps with sound; the third clip drops frame 30, so its
  // frames' times have a gap and its numbers are not its times.
  std::vector<std::string> clip = {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                   "-f", "lavfi", "-i", "sine=sample_rate=48000",
                                   "-t", "4"};
  clip.insert(clip.end(), open_gops.begin(), open_gops.end());
  std::vector<std::string> mp4 = clip;
  mp4.insert(mp4.end(), {"-c:a", "aac", "clip.mp4"});
  make(mp4);
  // Matroska seeks by its cues; MPEG-TS has no index, and a seek by time
  // may land anywhere; AVI gives no presentation times, so it is not sought.
  for (const char* copy : {"clip.mkv", "clip.ts", "clip.avi"}) {
    make({"-i", "clip.mp4", "-c", "copy", copy});
  }
  std::vector<std::string> dropped = clip;
  dropped.insert(dropped.end(),
                 {"-vf", "select='not(eq(n\\,30))'", "-fps_mode", "passthrough", "-c:a", "flac", "dropped.mkv"});
  make(dropped);
  const struct {
    std::vector<std::string> range;
    int first;
    int last;
  } parts[] = {
      {{"--frames", "37-60"}, 37, 60}, {{"--frames", "85-"}, 85, 99},   {{"--time", "1.5-2.3"}, 38, 57},
      {{"--time", "3.3-"}, 83, 99},    {{"--frames", "12-13"}, 12, 13}, {{"--frames", "0-4"}, 0, 4},
  };
  for (const std::string name : {"clip.mp4", "clip.mkv", "clip.ts", "clip.avi", "dropped.mkv"}) {
    fs::remove_all(file("whole"));
    const ProgramRun whole = render_into("whole", name, {});
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    const int count = name == "dropped.mkv" ? 99 : 100;
    ASSERT_EQ(names_in("whole").size(), static_cast<std::size_t>(count)) << name;
    for (const auto& part : parts) {
      const std::string folder = "part" + std::to_string(&part - parts);
      fs::remove_all(file(folder));
      const ProgramRun rendered = render_into(folder, name, part.range);
      ASSERT_EQ(rendered.exit_code, 0) << name << " " << part.range[1] << "\n" << rendered.err;
      // The dropped frame's gap moves the frames after it by a frame in time.
      const bool timed = part.range[0] == "--time" && name == "dropped.mkv";
      EXPECT_EQ(same_as_whole(folder), frames_from(part.first - timed, std::min(part.last - timed, count - 1)))
          << name << " " << part.range[1];
      // Decoding began at the key frame before the part (a GOP and its
      // B-frames back at most), not at the clip's start.
      const int began = decoding_began(rendered.err);
      EXPECT_LE(began, part.first - timed) << name << " " << part.range[1];
      const bool sought = name != "clip.avi";
      EXPECT_GE(began, part.first - timed > 0 ? (sought ? std::max(part.first - 16, 0) : 0) : -1)
          << name << " " << part.range[1] << "\n"
          << rendered.err;
    }
  }
}

TEST_F(ClipParts, OpenEndedRangesRunToTheEndOfTheInput) {
  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=10", "-frames:v", "8", "-start_number", "3", "in_%d.png"});
  const ProgramRun sequence = tool({"in_%d.png", "-o", "out_%d.png", "--frames", "7-"});
  ASSERT_EQ(sequence.exit_code, 0) << sequence.err;
  EXPECT_TRUE(fs::exists(file("out_10.png")));
  EXPECT_FALSE(fs::exists(file("out_6.png")));
  EXPECT_FALSE(fs::exists(file("out_11.png")));

  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=10", "-frames:v", "6", "-c:v", "libx264", "clip.mkv"});
  const ProgramRun past = tool({"clip.mkv", "-o", "past_%d.png", "--frames", "9-"});
  EXPECT_EQ(past.exit_code, 2);
  EXPECT_NE(past.err.find("no frame of it was chosen"), std::string::npos) << past.err;

  const std::vector<std::string> before = files();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"in_3.png", "-o", "one_%d.png", "--frames", "2-"},
        std::vector<std::string>{"-o", "sample_%d.png", "--frames", "0-"},
        std::vector<std::string>{"in_%d.png", "-o", "late_%d.png", "--frames", "20-"}}) {
    const ProgramRun refused = tool(arguments);
    EXPECT_EQ(refused.exit_code, 2) << arguments[0];
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_EQ(files(), before);
  }
}

}  // namespace
}  // namespace shardcast::cli
