// `shardcast render` with clips: frames byte for byte those of still
// renders, streams and timestamps kept, parts of clips, codecs and
// containers, refusals before any frame, and Ctrl-C. Clips are made here by
// Debian's ffmpeg from its test sources and inspected with ffprobe; frames
// are read back with the tool's own video reader.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/pictures/image.h"
#include "cli/pictures/picture_stream.h"
#include "cli/video/video.h"
#include "support/clip_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;

// Values that animate, step the seed and switch a table on half-way.
const std::vector<std::string> animated = {"--broken-bytes",  "0@0,80@6,20@11",
                                           "--seed",          "5",
                                           "--seed-step",     "1",
                                           "--qtl",           "off@0,on@4",
                                           "--qtl-value",     "90",
                                           "--filter1-value", "0.5@0,3@11",
                                           "--filter1",       "on"};

class Clips : public testing::ClipFolder {
 protected:
  Clips() : ClipFolder("shardcast-video") {}

  std::vector<Image> frames_of(const std::string& name) const {
    VideoReader reader;
    EXPECT_EQ(reader.open(file(name).string(), PictureLimits{}), "") << name;
    std::vector<Image> frames;
    for (;;) {
      VideoFrame frame;
      bool end = false;
      EXPECT_EQ(reader.next(frame, end), "") << name;
      if (end || frames.size() > 1000) {
        return frames;
      }
      frames.push_back(std::move(frame.image));
    }
  }

  Image picture(const std::string& name) const {
    Image image;
    const ImageResult read = read_image(file(name).string(), image);
    EXPECT_TRUE(read.ok()) << name << ": " << read.error;
    return image;
  }
};

std::string numbered(const std::string& prefix, int frame, const std::string& suffix) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d", frame);
  return prefix + number + suffix;
}

TEST_F(Clips, ClipFramesEqualStillRendersOfThePixelsDecodedFromTheClip) {
  // 100 pixels wide, so the effect widens every frame; H.264 4:2:0.
  make({"-f", "lavfi", "-i", "testsrc2=size=100x60:rate=24", "-frames:v", "12", "-c:v", "libx264", "-pix_fmt",
        "yuv420p", "clip.mkv"});
  const std::vector<Image> decoded = frames_of("clip.mkv");
  ASSERT_EQ(decoded.size(), 12u);
  for (std::size_t frame = 0; frame < decoded.size(); ++frame) {
    ASSERT_TRUE(write_image(file(numbered("in_", static_cast<int>(frame), ".png")).string(), decoded[frame]).ok());
  }
  const ProgramRun stills = tool({"in_%02d.png", "-o", "still_%02d.png", "--fps", "24", "--jobs", "1"}, animated);
  ASSERT_EQ(stills.exit_code, 0) << stills.err;

  const ProgramRun sequence = tool({"clip.mkv", "-o", "out_%02d.png", "--jobs", "2"}, animated);
  ASSERT_EQ(sequence.exit_code, 0) << sequence.err;
  const ProgramRun lossless = tool({"clip.mkv", "-o", "out.mkv", "--codec", "png"}, animated);
  ASSERT_EQ(lossless.exit_code, 0) << lossless.err;
  const std::vector<Image> encoded = frames_of("out.mkv");
  ASSERT_EQ(encoded.size(), 12u);
  for (int frame = 0; frame < 12; ++frame) {
    const Image still = picture(numbered("still_", frame, ".png"));
    EXPECT_NE(still.rgba, decoded[static_cast<std::size_t>(frame)].rgba) << frame;
    EXPECT_TRUE(picture(numbered("out_", frame, ".png")).rgba == still.rgba) << "frame " << frame;
    EXPECT_TRUE(encoded[static_cast<std::size_t>(frame)].rgba == still.rgba) << "frame " << frame;
  }
}

TEST_F(Clips, OtherStreamsTimestampsRateAndPixelAspectAreKept) {
  std::ofstream(file("words.srt")) << "1\n00:00:00,100 --> 00:00:00,900\nfirst\n\n2\n00:00:01,000 --> 00:00:01,400\n"
                                      "second\n";
  // Frame 3 dropped: the timestamps have a gap, as variable-rate clips do.
  make({"-f",        "lavfi",       "-i",   "testsrc2=size=64x48:rate=25",
        "-f",        "lavfi",       "-i",   "sine=frequency=300:sample_rate=44100",
        "-i",        "words.srt",   "-t",   "1.6",
        "-map",      "0:v",         "-map", "1:a",
        "-map",      "2:s",         "-vf",  "select='not(eq(n\\,3))',setsar=4/3",
        "-fps_mode", "passthrough", "-c:v", "libx264",
        "-c:a",      "flac",        "-c:s", "srt",
        "clip.mkv"});
  const ProgramRun rendered = tool({"clip.mkv", "-o", "out.mkv", "--broken-bytes", "30"});
  ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
  for (const std::string stream : {"a", "s"}) {
    const std::vector<std::string> packets = {"-select_streams",
                                              stream,
                                              "-show_packets",
                                              "-show_data_hash",
                                              "MD5",
                                              "-show_entries",
                                              "packet=pts,duration,size,data_hash"};
    const std::string before = probe("clip.mkv", packets);
    EXPECT_NE(before, "");
    EXPECT_EQ(probe("out.mkv", packets), before) << stream;
  }
  const std::vector<std::string> times = {"-select_streams", "v", "-show_entries", "frame=pts_time"};
  const std::string frame_times = probe("clip.mkv", times);
  EXPECT_NE(frame_times.find("0.160000"), std::string::npos) << frame_times;
  EXPECT_EQ(frame_times.find("0.120000"), std::string::npos) << frame_times;  // the dropped frame
  EXPECT_EQ(probe("out.mkv", times), frame_times);
  const std::vector<std::string> shape = {"-select_streams", "v", "-show_entries",
                                          "stream=width,height,sample_aspect_ratio,r_frame_rate,avg_frame_rate"};
  EXPECT_EQ(probe("out.mkv", shape), probe("clip.mkv", shape));
  EXPECT_NE(probe("out.mkv", shape).find("4:3"), std::string::npos);

  // The same into .mp4 with AAC, H.264 by default.
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "1",
        "-c:v", "libx264", "-c:a", "aac", "clip.mp4"});
  ASSERT_EQ(tool({"clip.mp4", "-o", "out.mp4"}).exit_code, 0);
  const std::vector<std::string> audio = {"-select_streams",
                                          "a",
                                          "-show_packets",
                                          "-show_data_hash",
                                          "MD5",
                                          "-show_entries",
                                          "packet=pts,duration,data_hash"};
  EXPECT_EQ(probe("out.mp4", audio), probe("clip.mp4", audio));
  EXPECT_EQ(probe("out.mp4", {"-select_streams", "v", "-show_entries", "stream=codec_name,pix_fmt"}), "h264,yuv420p\n");
}

TEST_F(Clips, APartOfAClipChosenByFramesOrByTime) {
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "2",
        "-c:v", "libx264", "-c:a", "flac", "clip.mkv"});
  ASSERT_EQ(tool({"clip.mkv", "-o", "all_%02d.png", "--broken-bytes", "0@0,99@49"}).exit_code, 0);
  ASSERT_EQ(tool({"clip.mkv", "-o", "part.mkv", "--codec", "png", "--frames", "10-19", "--broken-bytes", "0@0,99@49"})
                .exit_code,
            0);
  ASSERT_EQ(tool({"clip.mkv", "-o", "timed.mkv", "--codec", "png", "--time", "0.4-0.8", "--broken-bytes", "0@0,99@49"})
                .exit_code,
            0);
  for (const std::string name : {"part.mkv", "timed.mkv"}) {
    const std::vector<Image> frames = frames_of(name);
    ASSERT_EQ(frames.size(), 10u) << name;
    for (int frame = 0; frame < 10; ++frame) {
      EXPECT_TRUE(frames[static_cast<std::size_t>(frame)].rgba == picture(numbered("all_", frame + 10, ".png")).rgba)
          << name << " frame " << frame + 10;
    }
    // The part starts at 0 and brings its 0.4 seconds of sound.
    EXPECT_EQ(probe(name, {"-select_streams", "v", "-show_entries", "frame=pts_time", "-read_intervals", "%+#1"}),
              "0.000000\n")
        << name;
    std::istringstream durations(probe(name, {"-select_streams", "a", "-show_entries", "packet=duration_time"}));
    double sound = 0;
    for (std::string line; std::getline(durations, line);) {
      sound += std::stod(line);
    }
    EXPECT_NEAR(sound, 0.4, 0.1) << name;
  }
}

TEST_F(Clips, MovOutputsAreProRes4444KeepingAlpha) {
  Image input = Image::filled(48, 32, 0, 0, 0, 255);
  for (std::int32_t y = 0; y < 32; ++y) {
    for (std::int32_t x = 0; x < 48; ++x) {
      std::uint8_t* pixel = input.pixel(x, y);
      pixel[0] = static_cast<std::uint8_t>(x * 5);
      pixel[1] = static_cast<std::uint8_t>(y * 7);
      pixel[3] = static_cast<std::uint8_t>(x * 5 + 10);
    }
  }
  ASSERT_TRUE(write_image(file("in.png").string(), input).ok());
  const ProgramRun rendered = tool({"in.png", "-o", "out.mov", "--frames", "0-2", "--fps", "30000/1001"});
  ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
  EXPECT_NE(rendered.err.find("prores_ks in mov, yuva444p10le"), std::string::npos) << rendered.err;
  EXPECT_EQ(probe("out.mov", {"-select_streams", "v", "-show_entries", "stream=codec_name,profile,r_frame_rate"}),
            "prores,4444,30000/1001\n");
  const std::vector<Image> frames = frames_of("out.mov");
  ASSERT_EQ(frames.size(), 3u);
  for (std::size_t i = 0; i < frames[0].rgba.size(); i += 4) {
    EXPECT_NEAR(frames[0].rgba[i + 3], input.rgba[i + 3], 1) << i / 4;
  }
}

TEST_F(Clips, PicturesBecomeAClipAndAClipBecomesPicturesOnStandardOutput) {
  make({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=10", "-frames:v", "4", "in_%d.png"});
  ASSERT_EQ(tool({"in_%d.png", "-o", "out.webm", "--fps", "12.5"}).exit_code, 0);
  EXPECT_EQ(probe("out.webm", {"-select_streams", "v", "-show_entries", "stream=codec_name,r_frame_rate"}),
            "vp9,25/2\n");
  EXPECT_EQ(frames_of("out.webm").size(), 4u);

  const ProgramRun piped = tool({"out.webm", "-o", "-", "--frames", "1-3"});
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  std::FILE* out = ::fmemopen(const_cast<char*>(piped.out.data()), piped.out.size(), "rb");
  ASSERT_NE(out, nullptr);
  PictureStreamReader reader(out);
  std::vector<std::uint8_t> bytes;
  bool end = false;
  while (reader.next(bytes, end).empty() && !end) {
  }
  std::fclose(out);
  EXPECT_EQ(reader.pictures_read(), 3);
}

TEST_F(Clips, RefusalsComeBeforeAnyFrameInOneLine) {
  std::ofstream(file("words.srt")) << "1\n00:00:00,100 --> 00:00:00,900\nfirst\n";
  make({"-f",      "lavfi",     "-i",   "testsrc2=size=32x32:rate=10",
        "-f",      "lavfi",     "-i",   "sine",
        "-i",      "words.srt", "-t",   "1",
        "-map",    "0",         "-map", "1",
        "-map",    "2",         "-c:v", "libx264",
        "-c:a",    "pcm_s16le", "-c:s", "srt",
        "clip.mkv"});
  make({"-f", "lavfi", "-i", "sine", "-t", "0.2", "sound.wav"});
  std::ofstream(file("notes.txt")) << "not a clip";
  const std::vector<std::string> inputs = {"clip.mkv", "notes.txt", "sound.wav", "words.srt"};
  const struct {
    std::vector<std::string> arguments;
    std::string line;
  } refused[] = {
      {{"notes.txt", "-o", "out.mp4"}, "cannot read notes.txt: not a picture or a video FFmpeg reads"},
      {{"sound.wav", "-o", "out.mp4"}, "cannot read sound.wav: it holds no video stream"},
      {{"clip.mkv", "-o", "out.mkv", "--codec", "nosuch"},
       "cannot write out.mkv: this FFmpeg has no encoder called nosuch"},
      {{"clip.mkv", "-o", "out.mkv", "--codec", "pcm_s16le"}, "pcm_s16le is no video encoder"},
      {{"clip.mkv", "-o", "out.webm", "--codec", "libx264"},
       "cannot write out.webm: a .webm file cannot hold h264 video"},
      {{"clip.mkv", "-o", "out.mov", "--crf", "20"},
       "--crf applies to encoders with a constant-quality setting, and "
       "prores_ks has none"},
      {{"clip.mkv", "-o", "out.mp4"}, "cannot write out.mp4: a .mp4 file cannot hold stream 2 (subtitle, subrip)"},
      {{"clip.mkv", "-o", "nowhere/out.mkv"}, "cannot write nowhere/out.mkv: folder nowhere does not exist"},
      {{"clip.mkv", "-o", "out.mkv", "--max-pixels", "1000"},
       "cannot read clip.mkv: each frame of 32x32 pixels is too large (the limit is 1000 pixels"},
      {{"clip.mkv", "-o", "out.mkv", "--fps", "30"}, "--fps sets the rate of pictures; clip.mkv keeps its own"},
      {{"clip.mkv", "-o", "out.png"}, "out.png holds one picture, but clip.mkv is a clip"},
      {{"clip.mkv", "-o", "out.mkv", "--frames", "2-4", "--time", "1-2"}, "give --frames or --time, not both"},
      {{"clip.mkv", "-o", "out.mkv", "--quality", "50"}, "--quality applies to JPEG outputs"},
      {{"clip.mkv", "-o", "out.png", "--codec", "png"}, "--codec applies to video outputs"},
  };
  for (const auto& r : refused) {
    const ProgramRun result = tool(r.arguments);
    EXPECT_EQ(result.exit_code, 2) << r.line << "\n" << result.err;
    EXPECT_EQ(result.err.rfind("shardcast: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(r.line), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(files(), inputs) << r.line;
  }
  // A range past the clip's end is found only at its end: nothing is left.
  const ProgramRun past = tool({"clip.mkv", "-o", "out.mkv", "--codec", "png", "--frames", "5-40"});
  EXPECT_EQ(past.exit_code, 2);
  EXPECT_NE(past.err.find("cannot read clip.mkv: it ends after frame 9, but --frames asks for frames up to 40"),
            std::string::npos)
      << past.err;
  EXPECT_NE(past.err.find("out.mkv was not written"), std::string::npos) << past.err;
  EXPECT_EQ(files(), inputs);
}

TEST_F(Clips, CtrlCStopsBetweenFramesAndLeavesNothingBehind) {
  make({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "20", "-c:v", "libx264", "-preset", "ultrafast",
        "clip.mp4"});
  const std::string err_path = file("err.txt").string();
  const pid_t child = ::fork();
  if (child == 0) {
    ::chdir(folder_.c_str());
    std::freopen(err_path.c_str(), "w", stderr);
    ::execl(SHARDCAST_CLI_PATH, SHARDCAST_CLI_PATH, "render", "clip.mp4", "-o", "out.mp4", "--broken-bytes", "200",
            "--jobs", "2", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  // Until the temporary file exists, frames are not yet being written.
  for (int wait = 0; wait < 200; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<std::string> names = files();
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.starts_with(".shardcast-"); })) {
      break;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string err = testing::slurp(err_path);
  EXPECT_NE(err.find("shardcast: render: interrupted after "), std::string::npos) << err;
  EXPECT_NE(err.find("out.mp4 was not written"), std::string::npos) << err;
  EXPECT_EQ(files(), (std::vector<std::string>{"clip.mp4", "err.txt"}));
}

}  // namespace
}  // namespace shardcast::cli
