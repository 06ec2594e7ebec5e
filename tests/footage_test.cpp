// Everyday footage through `shardcast render`: the colour description
// travels into every container that holds it (and a warning says where it
// cannot), a deep clip keeps its depth and a 4:2:2 clip its chroma, an odd
// size is said or padded, a rotation is kept or said, audio is copied,
// dropped or encoded again, and the encoder's own options reach it or are
// refused before anything is written. Clips are made by Debian's ffmpeg
// and inspected with ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/clip_folder.h"

namespace shardcast::cli {
namespace {

using testing::lines_of;
using testing::ProgramRun;

// The lines that hold `part`.
int count_lines(const std::string& err, const std::string& part) {
  const std::vector<std::string> lines = lines_of(err);
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& line) { return line.find(part) != std::string::npos; }));
}

class Footage : public testing::ClipFolder {
 protected:
  Footage() : ClipFolder("shardcast-footage") {}

  // A frame as FFmpeg itself shows it, 8-bit RGB.
  std::string shown_frame(const std::string& name, int frame) const {
    const ProgramRun decoded =
        run({"ffmpeg", "-nostdin", "-v", "error", "-i", name, "-vf", "select=eq(n\\," + std::to_string(frame) + ")",
             "-frames:v", "1", "-pix_fmt", "rgb24", "-f", "rawvideo", "-"});
    EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
    return decoded.out;
  }

  std::string video_stream(const std::string& name, const std::string& entries) const {
    return probe(name, {"-select_streams", "v", "-show_entries", "stream=" + entries});
  }
};

double mean_difference(const std::string& one, const std::string& other) {
  EXPECT_EQ(one.size(), other.size());
  double sum = 0;
  for (std::size_t i = 0; i < std::min(one.size(), other.size()); ++i) {
    sum += std::abs(static_cast<unsigned char>(one[i]) - static_cast<unsigned char>(other[i]));
  }
  return one.empty() ? 0 : sum / static_cast<double>(one.size());
}

TEST_F(Footage, TheColourDescriptionTravelsIntoEveryContainerThatHoldsIt) {
  // BT.709 at 90 lines, where a reader without the tags assumes BT.601.
  make({"-f", "lavfi", "-i", "testsrc2=size=160x90:rate=25", "-t", "0.2", "-c:v", "libx264", "-pix_fmt", "yuv420p",
        "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "bt709.mp4"});
  make({"-f", "lavfi", "-i", "testsrc2=size=160x90:rate=25", "-t", "0.2", "-c:v", "libx264", "plain.mp4"});
  ASSERT_EQ(tool({"bt709.mp4", "-o", "frame.png", "--frames", "2", "--broken-bytes", "9"}).exit_code, 0);
  const std::string effect = shown_frame("frame.png", 0);
  for (const std::string name : {"out.mov", "out.mp4", "out.mkv", "out.webm"}) {
    const ProgramRun rendered = tool({"bt709.mp4", "-o", name, "--broken-bytes", "9"});
    ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
    EXPECT_EQ(count_lines(rendered.err, "warning"), 0) << rendered.err;
    EXPECT_EQ(video_stream(name, "color_space,color_transfer,color_primaries"), "bt709,bt709,bt709\n") << name;
    // Read back by FFmpeg, the frame is the effect's (ProRes 4444 holds it
    // almost exactly; 4:2:0 costs its chroma).
    EXPECT_LT(mean_difference(shown_frame(name, 2), effect), name == "out.mov" ? 0.5 : 2.5) << name;
  }
  const ProgramRun lost = tool({"bt709.mp4", "-o", "out.avi", "--broken-bytes", "9"});
  ASSERT_EQ(lost.exit_code, 0) << lost.err;
  EXPECT_EQ(count_lines(lost.err,
                        "warning: out.avi: a .avi file of mpeg4 video cannot record the clip's colour "
                        "(bt709 matrix, bt709 primaries, bt709 transfer)"),
            1)
      << lost.err;
  const ProgramRun untagged = tool({"plain.mp4", "-o", "plain.avi", "--broken-bytes", "9"});
  EXPECT_EQ(count_lines(untagged.err, "warning"), 0) << untagged.err;
}

TEST_F(Footage, DeepClipsKeepTheirDepthAndChromaWhereTheCodecTakesThem) {
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-t", "0.2", "-c:v", "libx264", "-pix_fmt", "yuv420p10le",
        "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc", "arib-std-b67", "hlg.mkv"});
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-t", "0.2", "-c:v", "libx264", "-pix_fmt", "yuv422p",
        "chroma.mkv"});
  const struct {
    std::vector<std::string> arguments;
    std::string stream;  // codec, pixel format, matrix, transfer, primaries
  } cases[] = {
      {{"hlg.mkv", "-o", "hlg_out.mkv"}, "h264,yuv420p10le,bt2020nc,arib-std-b67,bt2020"},
      {{"hlg.mkv", "-o", "hlg_out.mp4"}, "h264,yuv420p10le,bt2020nc,arib-std-b67,bt2020"},
      {{"hlg.mkv", "-o", "hlg_out.webm"}, "vp9,yuv420p10le,bt2020nc,arib-std-b67,bt2020"},
      {{"hlg.mkv", "-o", "hlg_out.mov"}, "prores,yuva444p12le,bt2020nc,arib-std-b67,bt2020"},
      {{"hlg.mkv", "-o", "hlg_ffv1.mkv", "--codec", "ffv1"}, "ffv1,yuv420p10le,bt2020nc,arib-std-b67,bt2020"},
      {{"chroma.mkv", "-o", "chroma_out.mp4"}, "h264,yuv422p,smpte170m,unknown,unknown"},
  };
  for (const auto& c : cases) {
    const ProgramRun rendered = tool(c.arguments, {"--broken-bytes", "5"});
    ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
    const std::string& name = c.arguments[2];
    EXPECT_EQ(video_stream(name, "codec_name,pix_fmt,color_space,color_transfer,color_primaries"), c.stream + "\n")
        << name;
    // One line says the effect's own depth, for the deep clip only.
    EXPECT_EQ(count_lines(rendered.err, "the effect works at 8 bits per channel: the clip's 10-bit frames"),
              c.arguments[0] == "hlg.mkv" ? 1 : 0)
        << rendered.err;
  }
}

TEST_F(Footage, AnOddSizeIsSaidOrPaddedOnRequest) {
  make({"-f", "lavfi", "-i", "testsrc2=size=86x48:rate=25", "-t", "0.2", "-vf", "format=rgb24,crop=85:47:0:0", "-c:v",
        "ffv1", "odd.mkv"});
  const ProgramRun said = tool({"odd.mkv", "-o", "full.mp4", "--broken-bytes", "5"});
  ASSERT_EQ(said.exit_code, 0) << said.err;
  EXPECT_EQ(count_lines(said.err, "85x47 frames have an odd size"), 1) << said.err;
  EXPECT_EQ(count_lines(said.err, "--pix-fmt yuv420p"), 1) << said.err;
  EXPECT_EQ(video_stream("full.mp4", "width,height,pix_fmt"), "85,47,yuv444p\n");

  // Warnings and notes are no errors: -q keeps them back.
  EXPECT_EQ(tool({"odd.mkv", "-o", "quiet.mp4", "--broken-bytes", "5", "-q"}).err, "");

  const ProgramRun padded = tool({"odd.mkv", "-o", "padded.mp4", "--broken-bytes", "5", "--pix-fmt", "yuv420p"});
  ASSERT_EQ(padded.exit_code, 0) << padded.err;
  EXPECT_EQ(count_lines(padded.err, "85x47 frames are written 86x48 in yuv420p, padded"), 1) << padded.err;
  EXPECT_EQ(video_stream("padded.mp4", "width,height,pix_fmt"), "86,48,yuv420p\n");
}

TEST_F(Footage, ARotationIsKeptWhereTheContainerHoldsItAndSaidWhereNot) {
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-t", "0.2", "-c:v", "libx264", "plain.mp4"});
  make({"-i", "plain.mp4", "-c", "copy", "-metadata:s:v", "rotate=90", "turned.mp4"});
  const std::string rotation = probe("turned.mp4", {"-show_entries", "stream_side_data=rotation"});
  ASSERT_NE(rotation, "\n");
  for (const std::string name : {"kept.mov", "kept.mp4", "lost.mkv"}) {
    const ProgramRun rendered = tool({"turned.mp4", "-o", name, "--broken-bytes", "5"});
    ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
    const bool kept = name.starts_with("kept");
    EXPECT_EQ(probe(name, {"-show_entries", "stream_side_data=rotation"}), kept ? rotation : "\n") << name;
    EXPECT_EQ(count_lines(rendered.err, "cannot record the clip's rotation"), kept ? 0 : 1) << rendered.err;
  }
}

TEST_F(Footage, AudioIsCopiedDroppedOrEncodedAgainAsAsked) {
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i", "sine=sample_rate=44100", "-t", "2",
        "-c:v", "libx264", "-c:a", "aac", "clip.mp4"});
  const struct {
    std::vector<std::string> arguments;
    std::string audio;  // codec and sample rate, or nothing
    int lines;          // lines that say it is encoded again
  } cases[] = {
      {{"clip.mp4", "-o", "copied.mkv"}, "aac,44100", 0},
      {{"clip.mp4", "-o", "opus.webm"}, "opus,48000", 1},
      {{"clip.mp4", "-o", "none.mp4", "--audio", "none"}, "", 0},
      {{"clip.mp4", "-o", "flac.mkv", "--audio", "flac"}, "flac,44100", 0},
  };
  for (const auto& c : cases) {
    const ProgramRun rendered = tool(c.arguments, {"--broken-bytes", "5"});
    ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
    const std::string& name = c.arguments[2];
    EXPECT_EQ(probe(name, {"-select_streams", "a", "-show_entries", "stream=codec_name,sample_rate"}),
              c.audio.empty() ? "" : c.audio + "\n")
        << name;
    EXPECT_EQ(count_lines(rendered.err, "cannot hold stream 1 (aac audio) as it is: it is encoded again"), c.lines)
        << rendered.err;
    if (!c.audio.empty()) {
      // Two seconds of sound, where the clip has them.
      const std::string duration = probe(name, {"-show_entries", "format=duration"});
      EXPECT_NEAR(std::stod(duration), 2.0, 0.05) << name;
    }
  }
  const std::vector<std::string> before = files();
  for (const std::vector<std::string>& refused :
       {std::vector<std::string>{"clip.mp4", "-o", "x.mkv", "--audio", "nosuch"},
        std::vector<std::string>{"clip.mp4", "-o", "x.mkv", "--audio", "libx264"},
        std::vector<std::string>{"clip.mp4", "-o", "x_%d.png", "--audio", "none"}}) {
    const ProgramRun result = tool(refused);
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(files(), before);
  }
}

TEST_F(Footage, TheEncodersOwnOptionsReachItAndUnknownOnesAreRefusedFirst) {
  make({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-t", "0.4", "-c:v", "libx264", "clip.mkv"});
  const ProgramRun tuned =
      tool({"clip.mkv", "-o", "tuned.mp4", "--preset", "ultrafast", "--bitrate", "300k", "--pix-fmt", "yuv444p",
            "--encoder-option", "tune=zerolatency", "--encoder-option", "x264-params=keyint=7"});
  ASSERT_EQ(tuned.exit_code, 0) << tuned.err;
  EXPECT_NE(tuned.err.find("(libx264 in mp4, yuv444p, preset ultrafast, bitrate 300k, tune=zerolatency, "
                           "x264-params=keyint=7)"),
            std::string::npos)
      << tuned.err;
  EXPECT_EQ(video_stream("tuned.mp4", "pix_fmt"), "yuv444p\n");
  // x264 writes its settings into the stream itself.
  const std::string bytes = testing::slurp(file("tuned.mp4"));
  for (const char* setting : {"cabac=0", "rc=abr", "bitrate=300", "keyint=7", "bframes=0"}) {
    EXPECT_NE(bytes.find(setting), std::string::npos) << setting;
  }

  const std::vector<std::string> before = files();
  const struct {
    std::vector<std::string> arguments;
    std::string line;
  } refused[] = {
      {{"--encoder-option", "nosuch=1"}, "--encoder-option nosuch=1: libx264 has no option nosuch"},
      {{"--encoder-option", "crf=soft"}, "--encoder-option crf=soft: libx264 refuses the value"},
      {{"--encoder-option", "crf"}, "--encoder-option takes KEY=VALUE, not \"crf\""},
      {{"--preset", "fast", "--codec", "ffv1"},
       "--preset applies to encoders with a preset setting, and ffv1 has none"},
      {{"--pix-fmt", "yuv420p12le"}, "--pix-fmt yuv420p12le: libx264 takes yuv420p, yuvj420p"},
      {{"--pix-fmt", "nosuch"}, "--pix-fmt nosuch: FFmpeg knows no pixel format of that name"},
  };
  for (const auto& r : refused) {
    const ProgramRun result = tool({"clip.mkv", "-o", "out.mkv"}, r.arguments);
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(r.line), std::string::npos) << result.err;
    EXPECT_EQ(files(), before);
  }
}

}  // namespace
}  // namespace shardcast::cli
