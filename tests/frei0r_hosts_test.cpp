// shardcast.so inside real frei0r hosts: Debian's ffmpeg (also the
// README's pad-and-crop recipe for any width, and what it writes on
// standard output), melt and GStreamer, each run on a short clip whose
// frames are compared byte for byte with `shardcast render` of the same
// frames and values. A host that is not installed, or cannot load this
// build of the filter, skips its tests.
#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "frei0r/frei0r_parameters.h"
#include "hostsim/parameter_table.h"
#include "support/frei0r_files.h"
#include "support/host_programs.h"
#include "support/program_run.h"

namespace shardcast::frei0r {
namespace {

namespace fs = std::filesystem;
using cli::Image;
using hostsim::ParameterKind;
using testing::frame_file;
using testing::Frei0rFiles;
using testing::glitch_tool_options;
using testing::glitch_values;
using testing::host_environment;
using testing::host_refusal;
using testing::ProgramRun;
using testing::tool_render;

std::string shortest(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// The same values as ffmpeg's frei0r filter takes them: in frei0r order,
// separated by '|', booleans as y or n.
std::string ffmpeg_parameters(const std::vector<double>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      text += '|';
    }
    if (filter_parameters[i].kind == ParameterKind::Checkbox) {
      text += values[i] >= 0.5 ? "y" : "n";
    } else {
      text += shortest(values[i]);
    }
  }
  return text;
}

// ffmpeg 5.1 hands a frei0r filter its frame buffers as they are, rows
// padded to its alignment (64 bytes here), while frei0r frames have none:
// only widths that are a multiple of 16 pixels come through intact, so the
// clip is 320 wide.
TEST_F(Frei0rFiles, FfmpegClipFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const std::string source = "testsrc2=size=320x240:rate=10";
  const ProgramRun frames = run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v", "10",
                                 "-vf", "format=rgba", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  const ProgramRun glitched =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v", "10", "-vf",
           "format=rgba,frei0r=shardcast:" + ffmpeg_parameters(glitch_values) + ",format=rgba", "-pix_fmt", "rgba",
           "out_%02d.png"},
          host_environment());
  ASSERT_EQ(glitched.exit_code, 0) << glitched.err;
  expect_frames_equal_tool_renders(glitched);
}

// The README's recipe for frames of any width in ffmpeg: pad to a
// multiple of 16 with black, glitch, crop back to the clip's own width
// (read with ffprobe), so that the aspect ratio is kept. Each frame is then
// the tool's render of the padded frame, cropped.
TEST_F(Frei0rFiles, FfmpegPadAndCropRecipeKeepsTheSizeAndMatchesTheToolOnThePaddedFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg", "ffprobe"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const ProgramRun clip =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-c:v", "ffv1", "-pix_fmt", "bgra", "in.mkv"});
  ASSERT_EQ(clip.exit_code, 0) << clip.err;
  const std::string recipe =
      "w=$(ffprobe -v error -select_streams v:0 -show_entries stream=width -of csv=p=0 in.mkv) && "
      "ffmpeg -nostdin -v error -i in.mkv -vf \"pad=ceil(iw/16)*16:ih,format=rgba,frei0r=shardcast:" +
      ffmpeg_parameters(glitch_values) + ",format=rgba,crop=$w:ih:0:0\" -pix_fmt rgba out_%02d.png";
  const ProgramRun glitched = run({"sh", "-c", recipe}, host_environment());
  ASSERT_EQ(glitched.exit_code, 0) << glitched.err;

  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-i", "in.mkv", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  for (int frame = 1; frame <= 10; ++frame) {
    const Image input = picture(frame_file("in_", frame));
    Image padded = Image::filled(208, 120, 0, 0, 0, 255);
    for (std::int32_t y = 0; y < 120; ++y) {
      std::memcpy(padded.pixel(0, y), input.rgba.data() + static_cast<std::size_t>(y) * 200 * 4, 200 * 4);
    }
    ASSERT_TRUE(cli::write_image(file(frame_file("padded_", frame)).string(), padded).ok());
  }
  std::vector<std::string> words = tool_render("padded_%02d.png", "tool_%02d.png", glitch_tool_options);
  const ProgramRun tool = run(words);
  ASSERT_EQ(tool.exit_code, 0) << tool.err;
  for (int frame = 1; frame <= 10; ++frame) {
    const Image ours = picture(frame_file("out_", frame));
    ASSERT_EQ(ours.width, 200);
    ASSERT_EQ(ours.height, 120);
    Image expected = picture(frame_file("tool_", frame));
    Image cropped = Image::filled(200, 120, 0, 0, 0, 0);
    for (std::int32_t y = 0; y < 120; ++y) {
      std::memcpy(cropped.pixel(0, y), expected.pixel(0, y), 200 * 4);
    }
    EXPECT_EQ(ours.rgba, cropped.rgba) << "frame " << frame;
    EXPECT_NE(ours.rgba, picture(frame_file("in_", frame)).rgba) << "frame " << frame;
  }
}

TEST_F(Frei0rFiles, FfmpegStandardOutputCarriesOnlyVideoUnlessMessagesAreAsked) {
  if (const std::string refusal = host_refusal({"ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const std::vector<std::string> words = {
      "ffmpeg",    "-nostdin", "-v",       "error",
      "-f",        "lavfi",    "-i",       "testsrc2=size=64x48:rate=10",
      "-frames:v", "2",        "-vf",      "format=rgba,frei0r=shardcast:1|0.01,format=rgba",
      "-f",        "rawvideo", "-pix_fmt", "rgba",
      "-"};
  const ProgramRun quiet = run(words, host_environment());
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out.size(), 64u * 48u * 4u * 2u);
  EXPECT_EQ(quiet.err.find("Reading "), std::string::npos);

  std::vector<std::string> environment = host_environment();
  environment.push_back("SHARDCAST_FREI0R_MESSAGES=stderr");
  const ProgramRun told = run(words, environment);
  ASSERT_EQ(told.exit_code, 0) << told.err;
  EXPECT_EQ(told.out, quiet.out);
  EXPECT_NE(told.err.find("Reading SOF"), std::string::npos) << told.err.substr(0, 400);
  EXPECT_NE(told.err.find("Error - "), std::string::npos);
}

TEST_F(Frei0rFiles, MeltClipFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg", "melt"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  // A lossless RGBA clip (MLT's picture producer needs a display, its
  // avformat producer reads clips), its frames as PNG, and a profile of the
  // clip's own size so that MLT does not scale. MLT hands frei0r filters
  // rows without padding, so unlike ffmpeg it takes any width: this one is
  // widened inside the render.
  const ProgramRun clip =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-vf", "format=rgba", "-c:v", "png", "-pix_fmt", "rgba", "clip.mkv"});
  ASSERT_EQ(clip.exit_code, 0) << clip.err;
  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-i", "clip.mkv", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  std::ofstream(file("profile")) << "description=clip\nframe_rate_num=10\nframe_rate_den=1\nwidth=200\nheight=120\n"
                                    "progressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                    "display_aspect_num=5\ndisplay_aspect_den=3\ncolorspace=601\n";

  // MLT takes frei0r values by parameter number, booleans as numbers too.
  std::vector<std::string> words = {"melt", "-profile", "profile", "clip.mkv", "-filter", "frei0r.shardcast"};
  for (std::size_t i = 0; i < glitch_values.size(); ++i) {
    words.push_back(std::to_string(i) + "=" + shortest(glitch_values[i]));
  }
  // real_time=0: every frame is rendered; in its default real-time mode a
  // consumer that falls behind (a busy machine) drops frames.
  words.insert(words.end(), {"-consumer", "avformat:out_%02d.png", "vcodec=png", "pix_fmt=rgba",
                             "mlt_image_format=rgba", "real_time=0"});
  testing::ProgramEnvironment environment;
  environment.unset = {"SHARDCAST_FREI0R_MESSAGES"};
  environment.set = host_environment();
  environment.set.push_back(std::string("FREI0R_PATH=") + SHARDCAST_FREI0R_DIR);
  const ProgramRun melt =
      testing::run_melt(folder_, words, environment, [&] { return fs::exists(file(frame_file("out_", 10))); });
  ASSERT_EQ(melt.exit_code, 0) << melt.err;
  expect_frames_equal_tool_renders(melt);
}

// GStreamer's frei0r wrapper (gst-plugins-bad) makes every frei0r
// parameter a property of the element frei0r-filter-shardcast, named in
// lower case with '-' for spaces, sliders as doubles in [0, 1] and switches
// as booleans. Its frames have rows without padding, so any width passes.
TEST_F(Frei0rFiles, GstreamerPipelineFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"gst-launch-1.0", "ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-vf", "format=rgba", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  std::vector<std::string> words = {"gst-launch-1.0",
                                    "-q",
                                    "multifilesrc",
                                    "location=in_%02d.png",
                                    "index=1",
                                    "stop-index=10",
                                    "caps=image/png,framerate=10/1",
                                    "!",
                                    "pngdec",
                                    "!",
                                    "videoconvert",
                                    "!",
                                    "video/x-raw,format=RGBA",
                                    "!",
                                    "frei0r-filter-shardcast"};
  for (std::size_t i = 0; i < glitch_values.size(); ++i) {
    std::string property = filter_parameters[i].name;
    for (char& c : property) {
      c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool is_switch = filter_parameters[i].kind == ParameterKind::Checkbox;
    words.push_back(property + "=" +
                    (is_switch ? (glitch_values[i] >= 0.5 ? "true" : "false") : shortest(glitch_values[i])));
  }
  words.insert(words.end(), {"!", "videoconvert", "!", "video/x-raw,format=RGBA", "!", "pngenc", "!", "multifilesink",
                             "location=out_%02d.png", "index=1"});
  std::vector<std::string> environment = host_environment();
  // A registry of its own, so that no cached scan of another build is used.
  environment.push_back("GST_REGISTRY=" + file("registry.bin").string());
  const ProgramRun pipeline = run(words, environment, 120);
  if (pipeline.err.find("no element \"frei0r-filter-shardcast\"") != std::string::npos) {
    GTEST_SKIP() << "GStreamer's frei0r wrapper is not installed (gstreamer1.0-plugins-bad)";
  }
  ASSERT_EQ(pipeline.exit_code, 0) << pipeline.err;
  expect_frames_equal_tool_renders(pipeline);
}

}  // namespace
}  // namespace shardcast::frei0r
