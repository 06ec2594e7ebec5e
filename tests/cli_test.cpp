// The shardcast executable, run as a user runs it: each test starts the
// built program in a fresh folder and checks its exit code, its standard
// output and error, and the files it leaves. Expected pictures come from the
// same effect module driven in-process through the simulated host, or from
// the decoder library called directly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <pty.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/image.h"
#include "cli/sample_frame.h"
#include "hostsim/simulated_host.h"
#include "pipeline/glitch_settings.h"
#include "support/jpeg_stream_builder.h"
#include "support/program_run.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::ProgramRun;
using testing::slurp;

class ShardcastTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "shardcast-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path file(const std::string& name) const { return folder_ / name; }

  // Runs the tool with the folder as working directory; standard input is
  // empty, standard output and error are captured.
  Outcome run(const std::vector<std::string>& arguments) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words);
  }

  // The folder's files, the captured output excepted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(file(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
  }

  void write_png(const std::string& name, const Image& image) const {
    ASSERT_TRUE(write_image(file(name).string(), image).ok());
  }

  Image read_png(const std::string& name) const {
    Image image;
    const ImageResult result = read_image(file(name).string(), image);
    EXPECT_TRUE(result.ok()) << name << ": " << result.error;
    return image;
  }

  fs::path folder_;
};

// A small picture with every kind of content, not a multiple of 16 wide.
Image test_picture(std::int32_t width = 50, std::int32_t height = 30) {
  Image image = Image::filled(width, height, 0, 0, 0, 255);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* pixel = image.pixel(x, y);
      pixel[0] = static_cast<std::uint8_t>(x * 5);
      pixel[1] = static_cast<std::uint8_t>(y * 8);
      pixel[2] = static_cast<std::uint8_t>(((x / 3 + y / 3) % 2) * 200);
      pixel[3] = static_cast<std::uint8_t>(x < 10 ? 128 : 255);
    }
  }
  return image;
}

std::vector<std::uint8_t> compress_jpeg(const Image& image) {
  tjhandle compressor = tjInitCompress();
  unsigned char* stream = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(compressor, image.rgba.data(), image.width, 0, image.height, TJPF_RGBA, &stream, &size,
                        TJSAMP_422, 90, 0),
            0);
  std::vector<std::uint8_t> bytes(stream, stream + size);
  tjFree(stream);
  tjDestroy(compressor);
  return bytes;
}

// The decoder library's own answer for a stream: the picture as RGBA (alpha
// of the opaque black buffer) and every line it wrote.
struct DirectDecode {
  std::int32_t result = 0;
  Image picture;
  std::string lines;
};

DirectDecode decode_directly(const std::vector<std::uint8_t>& stream, std::int32_t width, std::int32_t height,
                             std::int32_t seed = 1) {
  DirectDecode decoded;
  std::vector<std::uint8_t> work(static_cast<std::size_t>(width) * height * 4, 0);
  for (std::size_t i = 0; i < work.size(); i += 4) {
    work[i] = 255;
  }
  GlitchSettings settings;
  settings.pixels = work.data();
  settings.width = width;
  settings.height = height;
  settings.seed = seed;
  settings.qtc_seed = 1;
  settings.qtl_seed = 1;
  settings.qtc_position = 5;
  settings.qtl_position = 5;
  settings.inverse_dct = true;
  settings.ycbcr_to_rgb = true;
  settings.dequantize = true;
  settings.seed_engines();
  settings.messages = MessageSink::appending_to(decoded.lines);
  decoded.result = settings.decode_to_work_buffer(stream.data(), static_cast<std::uint32_t>(stream.size()));
  decoded.picture = Image::filled(width, height, 0, 0, 0, 0);
  for (std::size_t i = 0; i < work.size(); i += 4) {
    decoded.picture.rgba[i] = work[i + 1];
    decoded.picture.rgba[i + 1] = work[i + 2];
    decoded.picture.rgba[i + 2] = work[i + 3];
    decoded.picture.rgba[i + 3] = work[i];
  }
  return decoded;
}

// Index of the first scan data byte: two bytes after the SOS segment.
std::size_t scan_start(const std::vector<std::uint8_t>& stream) {
  for (std::size_t i = 2; i + 3 < stream.size();) {
    const std::size_t length = (stream[i + 2] << 8) | stream[i + 3];
    if (stream[i + 1] == 0xDA) {
      return i + 2 + length;
    }
    i += 2 + length;
  }
  return stream.size();
}

TEST_F(ShardcastTool, DecodeOfACleanFileEqualsTheDecoderLibrary) {
  const Image picture = test_picture(48, 24);
  const std::vector<std::uint8_t> stream = compress_jpeg(picture);
  write_bytes("clean.jpg", stream);

  const Outcome run_result = run({"decode", "clean.jpg", "-o", "clean.png"});
  EXPECT_EQ(run_result.exit_code, 0) << run_result.err;
  const DirectDecode expected = decode_directly(stream, 48, 24);
  ASSERT_EQ(expected.result, 0);
  const Image written = read_png("clean.png");
  EXPECT_EQ(written.width, 48);
  EXPECT_EQ(written.height, 24);
  EXPECT_EQ(written.rgba, expected.picture.rgba);
  EXPECT_EQ(run_result.out, "");
  EXPECT_NE(run_result.err.find("decode: 1 frame"), std::string::npos) << run_result.err;
}

TEST_F(ShardcastTool, DecodeOfADamagedFileShowsTheDamageAndItsLines) {
  std::vector<std::uint8_t> stream = compress_jpeg(test_picture(64, 32));
  const std::size_t start = scan_start(stream);
  ASSERT_LT(start + 400, stream.size());
  std::mt19937 bytes(7);
  for (std::size_t i = start + 5; i + 2 < stream.size(); ++i) {
    stream[i] = static_cast<std::uint8_t>(bytes() % 0xFF);
  }
  write_bytes("damaged.jpg", stream);

  const Outcome to_stdout = run({"decode", "damaged.jpg", "-o", "damaged.png", "--messages", "-"});
  EXPECT_EQ(to_stdout.exit_code, 0) << to_stdout.err;
  const DirectDecode expected = decode_directly(stream, 64, 32);
  EXPECT_EQ(read_png("damaged.png").rgba, expected.picture.rgba);
  EXPECT_NE(expected.lines.find("Error - "), std::string::npos);
  EXPECT_EQ(to_stdout.out, expected.lines);

  const Outcome to_file = run({"decode", "damaged.jpg", "-o", "again.png", "--messages", "lines.txt"});
  EXPECT_EQ(to_file.exit_code, 0);
  EXPECT_EQ(to_file.out, "");
  EXPECT_EQ(slurp(file("lines.txt")), expected.lines);
  const auto line_count = std::count(expected.lines.begin(), expected.lines.end(), '\n');
  EXPECT_NE(to_file.err.find(std::to_string(line_count) + " decoder lines written to lines.txt"), std::string::npos)
      << to_file.err;
}

TEST_F(ShardcastTool, DecodeDrawsItsRecoveryFromTheSeedGiven) {
  // A grey 32x16 stream whose scan holds nothing but invalid codes: every
  // block is made up from random draws.
  using shardcast::testing::BitWriter;
  using shardcast::testing::JpegStreamBuilder;
  JpegStreamBuilder builder;
  builder.soi()
      .dqt_all(0, 1)
      .sof(0xC0, 16, 32, {{1, 0x11, 0}})
      .dht(0, 0, {1}, {0})
      .dht(1, 0, {1}, {0})
      .sos({{1, 0x00}});
  BitWriter ones;
  for (int i = 0; i < 8; ++i) {
    ones.bits(0xFFFFFFFF, 32);
  }
  builder.raw(ones.finish()).eoi();
  const std::vector<std::uint8_t> stream = builder.build();
  write_bytes("invalid.jpg", stream);

  const Outcome seeded = run({"decode", "invalid.jpg", "-o", "seeded.png", "--seed", "99", "--messages", "-"});
  EXPECT_EQ(seeded.exit_code, 0) << seeded.err;
  const DirectDecode expected = decode_directly(stream, 32, 16, 99);
  EXPECT_EQ(read_png("seeded.png").rgba, expected.picture.rgba);
  EXPECT_EQ(seeded.out, expected.lines);
  EXPECT_NE(expected.picture.rgba, decode_directly(stream, 32, 16, 1).picture.rgba);
}

TEST_F(ShardcastTool, DecodeUsesTheSeedTablesAndStagesGiven) {
  const std::vector<std::uint8_t> stream = compress_jpeg(test_picture(32, 16));
  write_bytes("in.jpg", stream);
  EXPECT_EQ(run({"decode", "in.jpg", "-o", "plain.png"}).exit_code, 0);
  EXPECT_EQ(run({"decode", "in.jpg", "-o", "raw.png", "--inverse-dct", "off", "--dequantize", "false"}).exit_code, 0);
  EXPECT_EQ(run({"decode", "in.jpg", "-o", "table.png", "--qtl", "on", "--qtl-position", "1", "--qtl-value", "255"})
                .exit_code,
            0);
  const Image plain = read_png("plain.png");
  EXPECT_NE(read_png("raw.png").rgba, plain.rgba);
  EXPECT_NE(read_png("table.png").rgba, plain.rgba);
  // Options that only a render uses are not decode options.
  EXPECT_EQ(run({"decode", "in.jpg", "-o", "x.png", "--broken-bytes", "5"}).exit_code, 2);
}

TEST_F(ShardcastTool, DecodeWritesTheBlackFrameAndExits3WhenTheDecoderGivesUp) {
  std::vector<std::uint8_t> stream = compress_jpeg(test_picture(32, 16));
  const std::size_t start = scan_start(stream);
  // Corrupt the scan header's component count: the header checks fail.
  std::size_t sos = 2;
  while (stream[sos + 1] != 0xDA) {
    sos += 2 + ((stream[sos + 2] << 8) | stream[sos + 3]);
  }
  stream[sos + 4] = 7;
  ASSERT_LT(sos, start);
  write_bytes("broken.jpg", stream);

  const Outcome result = run({"decode", "broken.jpg", "-o", "broken.png"});
  EXPECT_EQ(result.exit_code, 3) << result.err;
  EXPECT_NE(result.err.find("Error - "), std::string::npos) << result.err;
  const Image black = read_png("broken.png");
  EXPECT_EQ(black.rgba, Image::filled(32, 16, 0, 0, 0, 255).rgba);
}

TEST_F(ShardcastTool, DecodeRefusesWhatIsNoJpegStream) {
  write_bytes("picture.jpg", {'h', 'e', 'l', 'l', 'o'});
  const Outcome result = run({"decode", "picture.jpg", "-o", "out.png"});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find("picture.jpg: not a JPEG file"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(file("out.png")));

  // A stream that ends before its frame header leaves no size to write.
  write_bytes("stub.jpg", {0xFF, 0xD8, 0xFF});
  const Outcome stub = run({"decode", "stub.jpg", "-o", "stub.png"});
  EXPECT_EQ(stub.exit_code, 3) << stub.err;
  EXPECT_NE(stub.err.find("declares no frame size"), std::string::npos) << stub.err;
  EXPECT_FALSE(fs::exists(file("stub.png")));

  // A header may declare a frame far larger than any buffer the tool makes.
  shardcast::testing::JpegStreamBuilder huge;
  huge.soi().dqt_all(0, 1).sof(0xC0, 60000, 60000, {{1, 0x11, 0}}).eoi();
  write_bytes("huge.jpg", huge.build());
  const Outcome refused = run({"decode", "huge.jpg", "-o", "huge.png"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("frame of 60000x60000 pixels is too large"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(file("huge.png")));
}

// What the module renders for the picture through the simulated host, with
// the given values (by parameter index) and every other at its default.
Image render_in_process(const Image& input, const std::map<A_long, double>& values) {
  hostsim::SimulatedHost host(std::filesystem::path(SHARDCAST_MODULE_PATH));
  EXPECT_EQ(host.global_setup().result, 0);
  EXPECT_EQ(host.params_setup().result, 0);
  for (const auto& [index, value] : values) {
    if (host.parameter(index).param_type == PF_Param_CHECKBOX) {
      host.set_checkbox(index, value != 0.0);
    } else {
      host.set_slider(index, value);
    }
  }
  // The module's decoder lines would flood the test log.
  std::fflush(stdout);
  const int saved_output = ::dup(STDOUT_FILENO);
  const int null_output = ::open("/dev/null", O_WRONLY);
  ::dup2(null_output, STDOUT_FILENO);
  const hostsim::CommandOutcome outcome =
      host.render(hostsim::Picture::from_rgba(input.width, input.height, input.rgba.data()));
  std::fflush(stdout);
  ::dup2(saved_output, STDOUT_FILENO);
  ::close(saved_output);
  ::close(null_output);
  EXPECT_EQ(outcome.result, 0);
  Image output;
  output.width = outcome.output.width;
  output.height = outcome.output.height;
  output.rgba = outcome.output.to_rgba();
  return output;
}

TEST_F(ShardcastTool, RenderOfTheBuiltInFrameEqualsTheModulesOwnRender) {
  const Outcome result = run({"render", "-o", "out.png", "--broken-bytes", "300", "--seed", "42", "--qtc", "on",
                          "--qtc-value", "90", "--filter1", "on", "--filter1-value", "0.5"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const Image expected =
      render_in_process(sample_frame(), {{3, 300}, {6, 42}, {9, 1}, {11, 90}, {30, 1}, {31, 0.5}});
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

TEST_F(ShardcastTool, WindowValuesReachTheModuleAsGivenUnlessSupervised) {
  const Image input = test_picture(32, 16);
  write_png("in.png", input);
  // An end below the start is what an animated value may hold; it renders.
  const Outcome reversed = run({"render", "in.png", "-o", "reversed.png", "--broken-bytes", "50", "--glitch-start", "60",
                            "--glitch-end", "20"});
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
  int terminal = -1;
  int terminal_side = -1;
  ASSERT_EQ(::openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr), 0);
  const std::string output = file("out_%d.png").string();
  const std::string input = file("in.png").string();
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(terminal_side, STDERR_FILENO);
    ::execl(SHARDCAST_CLI_PATH, SHARDCAST_CLI_PATH, "render", input.c_str(), "-o", output.c_str(), "--frames",
            "1-2", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(terminal_side);
  std::string shown;
  char chunk[256];
  for (ssize_t count; (count = ::read(terminal, chunk, sizeof chunk)) > 0;) {
    shown.append(chunk, static_cast<std::size_t>(count));
  }
  ::close(terminal);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
  EXPECT_NE(shown.find("2/2 frames"), std::string::npos) << shown;
  EXPECT_NE(shown.find("render: 2 frames"), std::string::npos) << shown;
}

TEST_F(ShardcastTool, ASequenceStopsAtTheFirstFailingFrameAndKeepsTheFramesWritten) {
  write_png("in_01.png", test_picture(16, 16));
  write_png("in_03.png", test_picture(16, 16));
  const Outcome result = run({"render", "in_%02d.png", "-o", "out_%d.png", "--frames", "1-3"});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find("frame 2: cannot read in_02.png"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(file("out_1.png")));
  EXPECT_FALSE(fs::exists(file("out_2.png")));
  EXPECT_FALSE(fs::exists(file("out_3.png")));
}

TEST_F(ShardcastTool, SequenceOptionsMustFitTogether) {
  write_png("in.png", test_picture(16, 16));
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%04d.png"}).exit_code, 2);              // pattern, no range
  EXPECT_EQ(run({"render", "in.png", "-o", "out.png", "--frames", "1-3"}).exit_code, 2);  // range, no pattern
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%s.png", "--frames", "1-3"}).exit_code, 2);
  EXPECT_EQ(run({"render", "in.png", "-o", "out_%d.png", "--frames", "3-1"}).exit_code, 2);
  EXPECT_EQ(run({"render", "in.png", "-o", "out.png", "--seed-step", "2"}).exit_code, 2);
  // A step that carries the last frame's seed past its range is refused up front.
  const Outcome too_far = run({"render", "in.png", "-o", "out_%d.png", "--frames", "0-2", "--seed", "99999999",
                           "--seed-step", "1"});
  EXPECT_EQ(too_far.exit_code, 2);
  EXPECT_NE(too_far.err.find("frame 2"), std::string::npos) << too_far.err;
  EXPECT_EQ(listing(), std::vector<std::string>{"in.png"});
}

TEST_F(ShardcastTool, BadInputExitsWith2NamingTheFileAndLeavesNothingBehind) {
  write_bytes("notes.png", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  std::vector<std::uint8_t> truncated;
  ASSERT_TRUE(read_file_bytes([&] {
                write_png("whole.png", test_picture(20, 20));
                return file("whole.png").string();
              }(),
                              truncated)
                  .ok());
  truncated.resize(truncated.size() / 2);
  write_bytes("half.png", truncated);
  fs::create_directory(file("folder.png"));

  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"render", "missing.png", "-o", "out.png"}, "cannot read missing.png: No such file or directory"},
      {{"render", "notes.png", "-o", "out.png"}, "cannot read notes.png: not a PNG or JPEG file"},
      {{"render", "half.png", "-o", "out.png"}, "cannot read half.png: corrupt PNG file"},
      {{"render", "folder.png", "-o", "out.png"}, "cannot read folder.png: it is a folder"},
      {{"render", "-o", "nowhere/out.png"}, "cannot write nowhere/out.png: folder nowhere does not exist"},
      {{"render", "-o", "whole.png/out.png"}, "cannot write whole.png/out.png: whole.png is not a folder"},
      {{"render", "-o", "folder.png"}, "cannot write folder.png: it is a folder"},
      {{"render", "-o", "out.bmp"}, "cannot write out.bmp: unknown picture format"},
      {{"decode", "missing.jpg", "-o", "out.png"}, "cannot read missing.jpg: No such file or directory"},
      {{"render", "-o", "out.png", "--messages", "nowhere/lines.txt"}, "cannot write nowhere/lines.txt"},
  };
  for (const auto& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.exit_code, 2) << c.message;
    EXPECT_NE(result.err.find("shardcast: " + c.message), std::string::npos) << result.err;
    EXPECT_EQ(listing(), (std::vector<std::string>{"folder.png", "half.png", "notes.png", "whole.png"}))
        << c.message;
  }
}

TEST_F(ShardcastTool, OutOfRangeValuesAreRefusedWithTheParameterAndItsRange) {
  const struct {
    std::string option;
    std::string value;
    std::string message;
  } refused[] = {
      {"--broken-bytes", "10001", "--broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between 0 and 10000"},
      {"--glitch-start", "99.91", "--glitch-start (\"start of glitch\" in \"Broken bytes\") must lie between 0 and 99.9"},
      {"--glitch-end", "0.09", "--glitch-end (\"end of glitch\" in \"Broken bytes\") must lie between 0.1 and 100"},
      {"--seed", "0", "--seed (\"seed\" in \"Broken bytes\") must lie between 1 and 100000000"},
      {"--qtl-seed", "100000001", "\"Quantization tables for Luma\") must lie between 1 and 100000000"},
      {"--compression-ratio", "nan", "--compression-ratio (\"Compression ratio\") must lie between 1 and 100"},
      {"--filter2-value", "-10.5", "must lie between -10 and 10"},
      {"--qtc", "maybe", "--qtc: expected on or off, not \"maybe\""},
      {"--seed", "12abc", "--seed: expected a number, not \"12abc\""},
  };
  write_png("existing.png", test_picture(16, 16));
  const std::string before = slurp(file("existing.png"));
  for (const auto& r : refused) {
    const Outcome result = run({"render", "-o", "existing.png", r.option, r.value});
    EXPECT_EQ(result.exit_code, 2) << r.option << " " << r.value;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(slurp(file("existing.png")), before);
  EXPECT_EQ(listing(), std::vector<std::string>{"existing.png"});

  // The bounds themselves pass as they are shown, single precision or not.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--glitch-end", "0.1"}, {"--glitch-start", "99.9"}, {"--seed", "100000000"}, {"--qtc", "TRUE"}}) {
    EXPECT_EQ(run({"render", "-o", "ok.png", "--sample-size", "16x8", option, value}).exit_code, 0) << option;
  }
}

TEST_F(ShardcastTool, DecoderLinesAreDiscardedUnlessAskedFor) {
  const std::vector<std::string> render = {"render", "-o", "out.png", "--broken-bytes", "500", "--seed", "3"};
  const Outcome quiet = run(render);
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");

  std::vector<std::string> to_stdout = render;
  to_stdout.insert(to_stdout.end(), {"--messages", "-"});
  const Outcome shown = run(to_stdout);
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.out.rfind("Reading ", 0), 0u) << shown.out.substr(0, 200);
  EXPECT_NE(shown.out.find("Error - "), std::string::npos);

  std::vector<std::string> to_file = render;
  to_file.insert(to_file.end(), {"--messages", "lines.txt"});
  const Outcome filed = run(to_file);
  ASSERT_EQ(filed.exit_code, 0) << filed.err;
  EXPECT_EQ(filed.out, "");
  EXPECT_EQ(slurp(file("lines.txt")), shown.out);
  const auto count = std::count(shown.out.begin(), shown.out.end(), '\n');
  EXPECT_NE(filed.err.find(std::to_string(count) + " decoder lines written to lines.txt"), std::string::npos)
      << filed.err;
  EXPECT_NE(quiet.err.find(std::to_string(count) + " decoder lines discarded"), std::string::npos) << quiet.err;
}

TEST_F(ShardcastTool, ParamsListsWhatTheModuleRegisters) {
  const Outcome result = run({"params"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::istringstream lines(result.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) {
    rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 25u);  // a heading and 24 parameters
  auto row_of = [&](const std::string& option) {
    for (const std::string& row : rows) {
      if (row.rfind(option + " ", 0) == 0) {
        return row;
      }
    }
    return std::string();
  };
  EXPECT_NE(row_of("--glitch-end").find("\"end of glitch\""), std::string::npos);
  EXPECT_NE(row_of("--glitch-end").find("0.1 .. 100"), std::string::npos);
  EXPECT_NE(row_of("--qtl-max-random").find("Quantization tables for Luma"), std::string::npos);
  EXPECT_NE(row_of("--filter2-value").find("-10 .. 10"), std::string::npos);
  EXPECT_EQ(row_of("--filter2-value").substr(row_of("--filter2-value").size() - 5), " -0.1");
  EXPECT_EQ(row_of("--inverse-dct").substr(row_of("--inverse-dct").size() - 3), " on");
  EXPECT_EQ(row_of("--compression-ratio").find("Broken"), std::string::npos);
}

TEST_F(ShardcastTool, HelpVersionAndUsageErrors) {
  EXPECT_EQ(run({"--version"}).out, "shardcast " SHARDCAST_VERSION "\n");
  for (const char* command : {"render", "decode", "params"}) {
    const Outcome help = run({command, "--help"});
    EXPECT_EQ(help.exit_code, 0) << command;
    EXPECT_NE(help.out.find("--module"), std::string::npos) << command;
  }
  EXPECT_EQ(run({}).exit_code, 2);
  EXPECT_EQ(run({"paint"}).exit_code, 2);
  EXPECT_EQ(run({"render"}).exit_code, 2);  // no output
  EXPECT_EQ(run({"render", "-o", "x.png", "--no-such-option", "1"}).exit_code, 2);
  EXPECT_EQ(run({"render", "-o", "x.png", "--module", "nowhere.so"}).exit_code, 2);
}

TEST(ImageFiles, EveryPngLayoutReadsAsEightBitRgba) {
  const std::string folder = ::testing::TempDir();
  auto write_with = [&](const std::string& name, png_uint_32 format, const void* pixels, const void* colourmap,
                        int colourmap_entries) {
    png_image description{};
    description.version = PNG_IMAGE_VERSION;
    description.width = 2;
    description.height = 1;
    description.format = format;
    description.colormap_entries = static_cast<png_uint_32>(colourmap_entries);
    const std::string path = folder + "/" + std::to_string(::getpid()) + "-" + name;
    EXPECT_NE(png_image_write_to_file(&description, path.c_str(), 0, pixels, 0, colourmap), 0) << name;
    Image image;
    EXPECT_TRUE(read_image(path, image).ok()) << name;
    std::remove(path.c_str());
    return image.rgba;
  };
  const std::uint8_t grey[] = {0, 200};
  EXPECT_EQ(write_with("g.png", PNG_FORMAT_GRAY, grey, nullptr, 0),
            (std::vector<std::uint8_t>{0, 0, 0, 255, 200, 200, 200, 255}));
  const std::uint8_t grey_alpha[] = {10, 0, 250, 128};
  EXPECT_EQ(write_with("ga.png", PNG_FORMAT_GA, grey_alpha, nullptr, 0),
            (std::vector<std::uint8_t>{10, 10, 10, 0, 250, 250, 250, 128}));
  const std::uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(write_with("rgb.png", PNG_FORMAT_RGB, rgb, nullptr, 0),
            (std::vector<std::uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
  const std::uint8_t indices[] = {1, 0};
  const std::uint8_t palette[] = {9, 8, 7, 255, 90, 80, 70, 0};
  EXPECT_EQ(write_with("p.png", PNG_FORMAT_RGBA | PNG_FORMAT_FLAG_COLORMAP, indices, palette, 2),
            (std::vector<std::uint8_t>{90, 80, 70, 0, 9, 8, 7, 255}));
  // 16-bit samples are scaled to 8 bits, not cut.
  const std::uint16_t deep[] = {65535, 32896};
  EXPECT_EQ(write_with("y16.png", PNG_FORMAT_LINEAR_Y, deep, nullptr, 0),
            (std::vector<std::uint8_t>{255, 255, 255, 255, 128, 128, 128, 255}));
}

TEST(ImageFiles, WrittenPngsReadBackUnchanged) {
  const Image picture = test_picture(7, 5);
  const std::string path = ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-round-trip.png";
  ASSERT_TRUE(write_image(path, picture).ok());
  Image again;
  ASSERT_TRUE(read_image(path, again).ok());
  std::remove(path.c_str());
  EXPECT_EQ(again.width, 7);
  EXPECT_EQ(again.height, 5);
  EXPECT_EQ(again.rgba, picture.rgba);
}

}  // namespace
}  // namespace shardcast::cli
