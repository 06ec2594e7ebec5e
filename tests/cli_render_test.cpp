// shardcast render, run as a user runs it: single pictures, numbered
// sequences, animated values, parallel jobs and pictures through standard
// input and output. Each test starts the built program in a fresh folder
// and compares the pictures it writes with the same effect module driven
// in-process through the simulated host.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cli/pictures/image.h"
#include "cli/pictures/picture_stream.h"
#include "cli/pictures/sample_frame.h"
#include "support/tool_fixture.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::ProgramRun;
using testing::compress_jpeg;
using testing::render_in_process;
using testing::scan_start;
using testing::ShardcastTool;
using testing::slurp;
using testing::test_picture;

TEST_F(ShardcastTool, RenderOfTheBuiltInFrameEqualsTheModulesOwnRender) {
  const Outcome result = run({"render", "-o", "out.png", "--broken-bytes", "300", "--seed", "42", "--qtc", "on",
                              "--qtc-value", "90", "--filter1", "on", "--filter1-value", "0.5"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const Image expected = render_in_process(sample_frame(), {{3, 300}, {6, 42}, {9, 1}, {11, 90}, {30, 1}, {31, 0.5}});
  const Image written = read_png("out.png");
  EXPECT_EQ(written.width, sample_frame_width);
  EXPECT_EQ(written.height, sample_frame_height);
  EXPECT_TRUE(written.rgba == expected.rgba);
  EXPECT_NE(written.rgba, sample_frame().rgba);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("render: 1 frame"), std::string::npos) << result.err;
}

TEST_F(ShardcastTool, RenderOfAPictureFileEqualsTheModulesOwnRenderAlphaIncluded) {
  const Image input = test_picture(50, 30);
  write_png("in.png", input);
  const Outcome result = run({"render", "in.png", "-o", "out.png", "--broken-bytes", "20", "--glitch-start", "10.5",
                              "--glitch-end", "60.25", "--dequantize", "off"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const Image expected = render_in_process(input, {{3, 20}, {4, 10.5}, {5, 60.25}, {27, 0}});
  const Image written = read_png("out.png");
  EXPECT_EQ(written.width, 50);
  EXPECT_EQ(written.height, 30);
  EXPECT_TRUE(written.rgba == expected.rgba);

  // A JPEG output holds the same frame, compressed.
  ASSERT_EQ(run({"render", "in.png", "-o", "out.JPEG", "--broken-bytes", "20"}).exit_code, 0);
  const std::string jpeg = slurp(file("out.JPEG"));
  ASSERT_GE(jpeg.size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
  EXPECT_EQ(read_png("out.JPEG").width, 50);
}

TEST_F(ShardcastTool, RenderOfAJpegInputEqualsTheModulesRenderOfItsPixels) {
  const std::vector<std::uint8_t> stream = compress_jpeg(test_picture(40, 24));
  write_bytes("in.jpg", stream);
  Image decoded;
  ASSERT_TRUE(decode_jpeg(stream, decoded).ok());
  const Outcome result = run({"render", "in.jpg", "-o", "out.png", "--broken-bytes", "30"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(read_png("out.png").rgba == render_in_process(decoded, {{3, 30}}).rgba);
}

TEST_F(ShardcastTool, TurboJpegEnvironmentVariablesChangeNoFrame) {
  // Each variable would change the streams TurboJPEG writes, were it read:
  // the damaged stream inside a render, and the tool's JPEG outputs.
  write_png("in.png", test_picture(48, 32));
  write_bytes("in.jpg", compress_jpeg(test_picture(48, 32)));
  const std::vector<std::string> variables = {"TJ_OPTIMIZE", "TJ_RESTART", "TJ_PROGRESSIVE", "TJ_ARITHMETIC"};
  auto outputs = [&](const testing::ProgramEnvironment& environment) {
    std::vector<std::string> bytes;
    for (const std::string output : {"render.png", "render.jpg"}) {
      const Outcome result =
          run({"render", "in.png", "-o", output, "--broken-bytes", "60", "--seed", "11"}, environment);
      EXPECT_EQ(result.exit_code, 0) << result.err;
      bytes.push_back(slurp(file(output)));
    }
    const Outcome decoded = run({"decode", "in.jpg", "-o", "decode.jpg"}, environment);
    EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
    bytes.push_back(slurp(file("decode.jpg")));
    return bytes;
  };
  const std::vector<std::string> plain = outputs({variables, {}, {}});
  for (const std::string& variable : variables) {
    EXPECT_TRUE(outputs({variables, {variable + "=1"}, {}}) == plain) << variable << "=1 changed a frame";
  }
}

TEST_F(ShardcastTool, WindowValuesReachTheModuleAsGivenUnlessSupervised) {
  const Image input = test_picture(32, 16);
  write_png("in.png", input);
  // An end below the start is what an animated value may hold; it renders.
  const Outcome reversed = run(
      {"render", "in.png", "-o", "reversed.png", "--broken-bytes", "50", "--glitch-start", "60", "--glitch-end", "20"});
  ASSERT_EQ(reversed.exit_code, 0) << reversed.err;
  EXPECT_TRUE(read_png("reversed.png").rgba == render_in_process(input, {{3, 50}, {4, 60}, {5, 20}}).rgba);

  // Supervised, the end becomes a whole number after the start: 50.9 -> 51.
  const Outcome supervised = run({"render", "in.png", "-o", "supervised.png", "--broken-bytes", "50", "--glitch-start",
                                  "50.2", "--glitch-end", "50.9", "--supervise"});
  ASSERT_EQ(supervised.exit_code, 0) << supervised.err;
  EXPECT_TRUE(read_png("supervised.png").rgba == render_in_process(input, {{3, 50}, {4, 50.2}, {5, 51}}).rgba);
}

TEST_F(ShardcastTool, ASequenceAddsTheSeedStepTimesTheFrameNumber) {
  const Image input = test_picture(40, 20);
  write_png("in.png", input);
  const Outcome result = run({"render", "in.png", "-o", "out_%04d.png", "--frames", "4-6", "--broken-bytes", "80",
                              "--seed", "10", "--seed-step", "3"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  for (int frame = 4; frame <= 6; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "out_%04d.png", frame);
    EXPECT_TRUE(read_png(name).rgba == render_in_process(input, {{3, 80}, {6, 10 + 3 * frame}}).rgba) << name;
  }
  EXPECT_FALSE(fs::exists(file("out_0003.png")));
  EXPECT_FALSE(fs::exists(file("out_0007.png")));
  // Standard error is no terminal here: one plain closing line, no bar.
  EXPECT_NE(result.err.find("render: 3 frames"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find('\r'), std::string::npos);
}

TEST_F(ShardcastTool, OnATerminalASequenceShowsAProgressBar) {
  write_png("in.png", test_picture(16, 16));
  const Outcome run = testing::run_on_a_terminal(folder_, {SHARDCAST_CLI_PATH, "render", "in.png", "-o", "out_%d.png",
                                                           "--frames", "1-2"});
  EXPECT_EQ(run.exit_code, 0);
  const std::string& shown = run.err;
  EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
  EXPECT_NE(shown.find("2/2 frames"), std::string::npos) << shown;
  EXPECT_NE(shown.find("render: 2 frames"), std::string::npos) << shown;
}

TEST_F(ShardcastTool, ASequenceWithAGapIsRefusedBeforeAnyFrameNamingTheMissingFile) {
  write_png("in_01.png", test_picture(16, 16));
  write_png("in_03.png", test_picture(16, 16));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"render", "in_%02d.png", "-o", "out_%d.png", "--frames", "1-3"},
        std::vector<std::string>{"render", "in_##.png", "-o", "out_%d.png"}}) {
    const Outcome result = run(arguments);
    EXPECT_EQ(result.exit_code, 2) << arguments[1];
    EXPECT_NE(result.err.find("frame 2 (in_02.png) is missing from the sequence 1-3"), std::string::npos) << result.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"in_01.png", "in_03.png"}));
  }
}

TEST_F(ShardcastTool, ASequenceFoundOnDiskRendersFromItsFirstToItsLastFile) {
  for (int frame = 7; frame <= 9; ++frame) {
    write_png("shot." + std::string(frame < 10 ? "000" : "00") + std::to_string(frame) + ".png", test_picture(16, 16));
  }
  write_png("shot.7.png", test_picture(8, 8));  // not a name of the pattern
  const Outcome result = run({"render", "shot.####.png", "-o", "out_%02d.png"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.err.find("render: 3 frames"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(file("out_07.png")) && fs::exists(file("out_09.png")));
  EXPECT_FALSE(fs::exists(file("out_06.png")) || fs::exists(file("out_10.png")));
}

TEST_F(ShardcastTool, AFrameThatFailsStopsTheSequenceKeepingTheFramesWrittenAndSaysSo) {
  write_png("in_1.png", test_picture(16, 16));
  write_bytes("in_2.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'});
  write_png("in_3.png", test_picture(16, 16));
  for (const char* jobs : {"1", "3"}) {
    const Outcome result = run({"render", "in_%d.png", "-o", "out_%d.png", "--jobs", jobs});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("frame 2: cannot read in_2.png: not a PNG or JPEG file"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("render: stopped after 1 frame; out_1.png was written"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(file("out_1.png"))) << jobs;
    EXPECT_FALSE(fs::exists(file("out_2.png")) || fs::exists(file("out_3.png"))) << jobs;
    fs::remove(file("out_1.png"));
  }
}

TEST_F(ShardcastTool, SequenceOptionsMustFitTogether) {
  write_png("in.png", test_picture(16, 16));
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%04d.png"}).exit_code, 2);                // pattern, no range
  EXPECT_EQ(run({"render", "in.png", "-o", "out.png", "--frames", "1-3"}).exit_code, 2);  // range, no pattern
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%s.png", "--frames", "1-3"}).exit_code, 2);
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%d.png", "--frames", "3-1"}).exit_code, 2);
  EXPECT_EQ(run({"render", "in.png", "-o", "out.png", "--seed-step", "2"}).exit_code, 2);
  // A step that carries the last frame's seed past its range is refused up front.
  const Outcome too_far =
      run({"render", "in.png", "-o", "out_%d.png", "--frames", "0-2", "--seed", "99999999", "--seed-step", "1"});
  EXPECT_EQ(too_far.exit_code, 2);
  EXPECT_NE(too_far.err.find("frame 2"), std::string::npos) << too_far.err;
  EXPECT_EQ(files(), std::vector<std::string>{"in.png"});
}

TEST_F(ShardcastTool, JpegOutputsTakeTheQualityGiven) {
  ASSERT_EQ(run({"render", "--sample-size", "64x48", "-o", "default.jpg"}).exit_code, 0);
  ASSERT_EQ(run({"render", "--sample-size", "64x48", "-o", "rough.jpg", "--quality", "20"}).exit_code, 0);
  EXPECT_LT(slurp(file("rough.jpg")).size(), slurp(file("default.jpg")).size());
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(read_file_bytes(file("rough.jpg").string(), bytes).ok());
  tjhandle decompressor = tjInitDecompress();
  int width = 0, height = 0, subsampling = -1, colourspace = 0;
  EXPECT_EQ(tjDecompressHeader3(decompressor, bytes.data(), bytes.size(), &width, &height, &subsampling, &colourspace),
            0);
  tjDestroy(decompressor);
  EXPECT_EQ(subsampling, TJSAMP_444);
  EXPECT_EQ(run({"render", "--sample-size", "64x48", "-o", "q.jpg", "--quality", "101"}).exit_code, 2);
}

TEST_F(ShardcastTool, ADamagedOrCutJpegInputIsRenderedWithAWarning) {
  const Image picture = test_picture(48, 32);
  const std::vector<std::uint8_t> whole = compress_jpeg(picture);
  // Whole, its end-of-image marker in place, but with scan data libjpeg
  // cannot make sense of: it fills in grey and says so.
  std::vector<std::uint8_t> damaged = whole;
  std::mt19937 noise(11);
  for (std::size_t i = scan_start(damaged) + 4; i + 2 < damaged.size(); ++i) {
    damaged[i] = static_cast<std::uint8_t>(noise() % 0xFF);
  }
  damaged.insert(damaged.end() - 2, {0xFF, 0xD5});
  // Cut in the middle of its scan data, as an interrupted copy leaves it.
  const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(
                                                                         (scan_start(whole) + whole.size()) / 2));
  for (const auto& [name, stream] : {std::pair{"damaged.jpg", damaged}, std::pair{"cut.jpg", cut}}) {
    write_bytes(name, stream);
    Image decoded;
    const ImageResult read = decode_jpeg(stream, decoded);
    ASSERT_TRUE(read.ok()) << name;
    ASSERT_FALSE(read.warning.empty()) << name;
    const Outcome result = run({"render", name, "-o", "out.png", "--broken-bytes", "10"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find(std::string("shardcast: warning: ") + name + " is damaged (" + read.warning + ")"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(read_png("out.png").rgba == render_in_process(decoded, {{3, 10}}).rgba) << name;
  }
}

TEST_F(ShardcastTool, AHintIsGivenWhenNothingWouldDamageThePicture) {
  const struct {
    std::vector<std::string> options;
    bool hint;
  } cases[] = {
      {{}, true},
      {{"--broken-bytes", "0.5", "--qtc-value", "40", "--filter1-value", "3"}, true},
      {{"--broken-bytes", "0@0,0@10", "--frames", "4"}, true},
      {{"--broken-bytes", "5"}, false},
      {{"--broken-bytes", "0@0,5@10", "--frames", "4"}, false},
      {{"--qtl", "on"}, false},
      {{"--dequantize", "off"}, false},
      {{"--filter2", "on"}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"render", "--sample-size", "32x16", "-o", "out.png"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome result = run(arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err.find("shardcast: hint: ") != std::string::npos, c.hint) << result.err;
  }
}

TEST_F(ShardcastTool, AnimatedValuesGiveEachFrameTheValuesAtItsTime) {
  const Image input = test_picture(40, 24);
  write_png("in.png", input);
  const Outcome result = run({"render",         "in.png",    "-o",          "out_%d.png", "--frames",        "0-5",
                              "--broken-bytes", "0@1,300@5", "--qtc",       "off@0,on@3", "--qtc-value",     "200",
                              "--seed",         "7@0,9.5@5", "--seed-step", "2",          "--filter1-value", "-2@2,4@4",
                              "--filter1",      "on"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  for (int frame = 0; frame <= 5; ++frame) {
    // Linear between keys, held outside them; the checkbox holds until its key.
    const double bytes = frame <= 1 ? 0.0 : 300.0 * (frame - 1) / 4.0;
    const double seed = 7.0 + 2.5 * frame / 5.0 + 2.0 * frame;
    const double filter = frame <= 2 ? -2.0 : frame >= 4 ? 4.0 : 1.0;
    const Image expected =
        render_in_process(input,
                          {{3, bytes}, {9, frame >= 3 ? 1.0 : 0.0}, {11, 200}, {6, seed}, {30, 1}, {31, filter}});
    EXPECT_TRUE(read_png("out_" + std::to_string(frame) + ".png").rgba == expected.rgba) << "frame " << frame;
  }
  // One frame of an animation, as a single picture.
  ASSERT_EQ(run({"render", "in.png", "-o", "three.png", "--frames", "3", "--broken-bytes", "0@1,300@5"}).exit_code, 0);
  EXPECT_TRUE(read_png("three.png").rgba == render_in_process(input, {{3, 150}}).rgba);
  // Supervision is the host's rule for edited values, not keyframes.
  EXPECT_EQ(run({"render", "in.png", "-o", "s.png", "--glitch-end", "50@0,60@9", "--supervise"}).exit_code, 2);
}

TEST_F(ShardcastTool, ParallelJobsWriteWhatOneJobWritesLinesIncluded) {
  for (int frame = 1; frame <= 7; ++frame) {
    write_png("in_" + std::to_string(frame) + ".png", test_picture(48 + frame, 24));
  }
  std::map<int, std::string> lines;
  for (const int jobs : {1, 3}) {
    const std::string tag = std::to_string(jobs);
    const Outcome result = run({"render", "in_%d.png", "-o", "j" + tag + "_%d.png", "--broken-bytes", "40@1,400@7",
                                "--seed-step", "3", "--jobs", tag, "--messages", "-"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("render: 7 frames"), std::string::npos) << result.err;
    lines[jobs] = result.out;
  }
  EXPECT_NE(lines[1].find("Error - "), std::string::npos);
  EXPECT_EQ(lines[3], lines[1]);
  for (int frame = 1; frame <= 7; ++frame) {
    const std::string number = std::to_string(frame);
    EXPECT_EQ(slurp(file("j3_" + number + ".png")), slurp(file("j1_" + number + ".png"))) << frame;
  }
}

TEST_F(ShardcastTool, PicturesThroughStandardInputAndOutput) {
  // Three pictures back to back, PNG and JPEG, as image2pipe sends them.
  std::vector<Image> inputs = {test_picture(32, 16), test_picture(40, 24), test_picture(16, 16)};
  std::vector<std::uint8_t> piped;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(encode_image(inputs[i], ImageFormat::Png, 95, bytes).ok());
    if (i == 1) {
      bytes = compress_jpeg(inputs[i], TJSAMP_444);
      ASSERT_TRUE(decode_jpeg(bytes, inputs[i]).ok());
    }
    piped.insert(piped.end(), bytes.begin(), bytes.end());
  }
  write_bytes("piped", piped);
  const Outcome result = run({"render", "-", "-o", "-", "--broken-bytes", "0@0,60@2"}, reading("piped"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::FILE* out = ::fmemopen(const_cast<char*>(result.out.data()), result.out.size(), "rb");
  ASSERT_NE(out, nullptr);
  PictureStreamReader reader(out);
  for (std::size_t i = 0; i <= inputs.size(); ++i) {
    std::vector<std::uint8_t> bytes;
    bool end = false;
    ASSERT_EQ(reader.next(bytes, end), "");
    if (i == inputs.size()) {
      EXPECT_TRUE(end);
      break;
    }
    Image written;
    ASSERT_TRUE(decode_png(bytes, written).ok()) << i;
    EXPECT_TRUE(written.rgba == render_in_process(inputs[i], {{3, 30.0 * static_cast<double>(i)}}).rgba) << i;
  }
  std::fclose(out);

  // One picture in, one JPEG picture out; --frames picks from the stream.
  const Outcome one = run({"render", "-", "-o", "-", "--format", "jpg", "--frames", "1"}, reading("piped"));
  ASSERT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(static_cast<unsigned char>(one.out[0]), 0xFF);
  // A single output and several pictures coming in: nothing is written.
  const Outcome many = run({"render", "-", "-o", "single.png"}, reading("piped"));
  EXPECT_EQ(many.exit_code, 2);
  EXPECT_NE(many.err.find("standard input holds more than one picture"), std::string::npos) << many.err;
  EXPECT_FALSE(fs::exists(file("single.png")));
  write_bytes("half", std::vector<std::uint8_t>(piped.begin(), piped.begin() + 100));
  const Outcome cut = run({"render", "-", "-o", "-"}, reading("half"));
  EXPECT_EQ(cut.exit_code, 2);
  EXPECT_NE(cut.err.find("cannot read standard input: picture 1: the stream ends inside a PNG picture"),
            std::string::npos)
      << cut.err;
  const Outcome large = run({"render", "-", "-o", "-", "--max-pixels", "500"}, reading("piped"));
  EXPECT_EQ(large.exit_code, 2);
  EXPECT_NE(large.err.find("cannot read standard input: picture 1: picture of 32x16 pixels is too large"),
            std::string::npos)
      << large.err;
  write_bytes("empty", {});
  EXPECT_NE(run({"render", "-", "-o", "x.png"}, reading("empty")).err.find("it holds no picture"), std::string::npos);
}

}  // namespace
}  // namespace shardcast::cli
