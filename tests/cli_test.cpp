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
#include <zlib.h>

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

#include "cli/pictures/image.h"
#include "cli/pictures/picture_stream.h"
#include "cli/pictures/sample_frame.h"
#include "hostsim/simulated_host.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"
#include "support/effect_setup.h"
#include "support/jpeg_stream_builder.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::ProgramRun;
using testing::slurp;

class ShardcastTool : public testing::ScratchFolder {
 protected:
  ShardcastTool() : ScratchFolder("shardcast-cli") {}

  // Runs the tool with the folder as working directory; standard input is
  // empty, standard output and error are captured.
  Outcome run(const std::vector<std::string>& arguments, const testing::ProgramEnvironment& environment = {}) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words, environment);
  }

  // Standard input read from one of the folder's files.
  testing::ProgramEnvironment reading(const std::string& name) const {
    testing::ProgramEnvironment environment;
    environment.input = file(name);
    return environment;
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
    std::ofstream(file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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

std::vector<std::uint8_t> compress_jpeg(const Image& image, int subsampling = TJSAMP_422, int flags = 0) {
  tjhandle compressor = tjInitCompress();
  unsigned char* stream = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(compressor, image.rgba.data(), image.width, 0, image.height, TJPF_RGBA, &stream, &size,
                        subsampling, 90, flags),
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
  GlitchSettings settings = default_settings();
  settings.pixels = work.data();
  settings.width = width;
  settings.height = height;
  settings.seed = seed;
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
  EXPECT_TRUE(testing::set_up_effect(host));
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
  int terminal = -1;
  int terminal_side = -1;
  ASSERT_EQ(::openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr), 0);
  const std::string output = file("out_%d.png").string();
  const std::string input = file("in.png").string();
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(terminal_side, STDERR_FILENO);
    ::execl(SHARDCAST_CLI_PATH, SHARDCAST_CLI_PATH, "render", input.c_str(), "-o", output.c_str(), "--frames", "1-2",
            static_cast<char*>(nullptr));
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

TEST_F(ShardcastTool, ASequenceWithAGapIsRefusedBeforeAnyFrameNamingTheMissingFile) {
  write_png("in_01.png", test_picture(16, 16));
  write_png("in_03.png", test_picture(16, 16));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"render", "in_%02d.png", "-o", "out_%d.png", "--frames", "1-3"},
        std::vector<std::string>{"render", "in_##.png", "-o", "out_%d.png"}}) {
    const Outcome result = run(arguments);
    EXPECT_EQ(result.exit_code, 2) << arguments[1];
    EXPECT_NE(result.err.find("frame 2 (in_02.png) is missing from the sequence 1-3"), std::string::npos) << result.err;
    EXPECT_EQ(listing(), (std::vector<std::string>{"in_01.png", "in_03.png"}));
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
  EXPECT_EQ(listing(), std::vector<std::string>{"in.png"});
}

void append_big_endian(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.insert(bytes.end(), {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

// A PNG file of a signature, an IHDR chunk (8 bits per sample), one IDAT
// chunk with the given bytes compressed, and IEND.
std::vector<std::uint8_t> png_file(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
                                   const std::vector<std::uint8_t>& data = {}) {
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* type, const std::vector<std::uint8_t>& payload) {
    append_big_endian(file, static_cast<std::uint32_t>(payload.size()));
    const std::size_t typed = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), payload.begin(), payload.end());
    append_big_endian(file, static_cast<std::uint32_t>(
                                ::crc32(0, file.data() + typed, static_cast<uInt>(file.size() - typed))));
  };
  std::vector<std::uint8_t> header;
  append_big_endian(header, width);
  append_big_endian(header, height);
  header.insert(header.end(), {8, colour_type, 0, 0, 0});
  chunk("IHDR", header);
  std::vector<std::uint8_t> compressed(::compressBound(static_cast<uLong>(data.size())));
  uLongf size = static_cast<uLongf>(compressed.size());
  EXPECT_EQ(::compress(compressed.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
  compressed.resize(size);
  chunk("IDAT", compressed);
  chunk("IEND", {});
  return file;
}

// A three-component 4:2:0 baseline frame whose tables give every block the
// shortest code there is (one bit for a zero DC difference, one for the end
// of block), then `scan` bytes of such codes, and an end-of-image marker if
// asked for.
std::vector<std::uint8_t> jpeg_file(std::uint16_t width, std::uint16_t height, std::size_t scan, bool ends) {
  shardcast::testing::JpegStreamBuilder builder;
  builder.soi()
      .dqt_all(0, 1)
      .sof(0xC0, height, width, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
      .dht(0, 0, {1}, {0})
      .dht(1, 0, {1}, {0})
      .sos({{1, 0x00}, {2, 0x00}, {3, 0x00}})
      .raw(std::vector<std::uint8_t>(scan, 0));
  if (ends) {
    builder.eoi();
  }
  return builder.build();
}

// Headers that claim far more than their file holds: each is refused from
// its header alone, inside a memory cap that the buffers they claim would
// break, with one line naming the reason and no file left behind.
TEST_F(ShardcastTool, HostileHeadersAreRefusedWithinAMemoryCap) {
  const std::string no_limit = "1099511627776";  // the highest --max-pixels
  const struct {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {"wide.png",
       png_file(0x7FFFFFFF, 1, 2),
       {},
       "picture of 2147483647x1 pixels is too large (the limit is 67108864"},
      {"wide.png",
       png_file(0x7FFFFFFF, 1, 2),
       {"--max-pixels", no_limit},
       "too few for a picture of 2147483647x1 pixels"},
      {"tall.png", png_file(1, 0x7FFFFFFF, 6), {}, "picture of 1x2147483647 pixels is too large"},
      {"tall.png",
       png_file(1, 0x7FFFFFFF, 6),
       {"--max-pixels", no_limit},
       "too few for a picture of 1x2147483647 pixels"},
      {"hollow.png", png_file(16384, 16384, 6), {}, "picture of 16384x16384 pixels is too large"},
      {"hollow.png",
       png_file(16384, 16384, 6),
       {"--max-pixels", "268435456"},
       "too few for a picture of 16384x16384 pixels"},
      {"huge.jpg", jpeg_file(65535, 65535, 64, true), {}, "picture of 65535x65535 pixels is too large"},
      {"huge.jpg",
       jpeg_file(65535, 65535, 64, true),
       {"--max-pixels", no_limit},
       "too few for a picture of 65535x65535 pixels"},
      {"cut.jpg", jpeg_file(8192, 8192, 100, false), {}, "too few for a picture of 8192x8192 pixels"},
      {"hollow.jpg", jpeg_file(8192, 8192, 100, true), {}, "too few for a picture of 8192x8192 pixels"},
  };
  // AddressSanitizer reserves terabytes of address space, so under it the
  // cap is on single allocations instead: the buffers these headers claim
  // are each far above it.
#if defined(__SANITIZE_ADDRESS__)
  const char* sanitizer_options = std::getenv("ASAN_OPTIONS");
  const testing::ProgramEnvironment capped{{},
                                           {std::string("ASAN_OPTIONS=") +
                                            (sanitizer_options != nullptr ? sanitizer_options : "") +
                                            ":max_allocation_size_mb=256"},
                                           {}};
  auto run_capped = [&](std::vector<std::string> arguments) { return run(arguments, capped); };
#else
  auto run_capped = [&](std::vector<std::string> arguments) {
    std::vector<std::string> words = {"/bin/sh", "-c", "ulimit -v 1048576 && exec \"$0\" \"$@\"", SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words);
  };
#endif
  for (const auto& c : cases) {
    write_bytes(c.name, c.bytes);
    std::vector<std::string> arguments = {"render", c.name, "-o", "out.png"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome result = run_capped(arguments);
    EXPECT_EQ(result.exit_code, 2) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.rfind("shardcast: cannot read " + c.name + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(listing(), std::vector<std::string>{c.name}) << c.name;
    fs::remove(file(c.name));
  }

  // decode judges the frame header the same way. Above the limit its
  // buffer would not fit in the cap, which the tool reports rather than dies.
  write_bytes("huge.jpg", jpeg_file(65535, 65535, 64, true));
  const Outcome refused = run_capped({"decode", "huge.jpg", "-o", "out.png"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_EQ(refused.err,
            "shardcast: cannot read huge.jpg: its frame of 65535x65535 pixels is too large (the limit "
            "is 67108864 pixels; --max-pixels raises it)\n");
#if !defined(__SANITIZE_ADDRESS__)
  const Outcome exhausted = run_capped({"decode", "huge.jpg", "-o", "out.png", "--max-pixels", no_limit});
  EXPECT_EQ(exhausted.exit_code, 2);
  EXPECT_EQ(exhausted.err, "shardcast: out of memory: the picture is too large for the memory available\n");
#endif
  EXPECT_EQ(listing(), std::vector<std::string>{"huge.jpg"});

  // The cap leaves room for ordinary work.
  write_png("small.png", test_picture(64, 48));
  EXPECT_EQ(run_capped({"render", "small.png", "-o", "out.png", "--broken-bytes", "9"}).exit_code, 0);
}

TEST_F(ShardcastTool, TheLimitCoversTheSampleFrameAndIsAWholeNumber) {
  const Outcome too_large = run({"render", "-o", "out.png", "--sample-size", "100x100", "--max-pixels", "9999"});
  EXPECT_EQ(too_large.exit_code, 2);
  EXPECT_NE(too_large.err.find("the sample frame of 100x100 pixels is too large (the limit is 9999 pixels"),
            std::string::npos)
      << too_large.err;
  EXPECT_EQ(run({"render", "-o", "out.png", "--sample-size", "100x100", "--max-pixels", "10000"}).exit_code, 0);
  for (const char* value : {"0", "-1", "1.5", "lots", "1099511627777"}) {
    const Outcome result = run({"decode", "any.jpg", "-o", "x.png", "--max-pixels", value});
    EXPECT_EQ(result.exit_code, 2) << value;
    EXPECT_NE(result.err.find("--max-pixels " + std::string(value) + ": expected a whole number"), std::string::npos)
        << result.err;
  }
  EXPECT_NE(run({"render", "--help"}).out.find("--max-pixels"), std::string::npos);
  EXPECT_NE(run({"decode", "--help"}).out.find("--max-pixels"), std::string::npos);
}

TEST_F(ShardcastTool, BadInputExitsWith2NamingTheFileAndLeavesNothingBehind) {
  write_bytes("notes.png", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  std::vector<std::uint8_t> truncated;
  ASSERT_TRUE(read_file_bytes(
                  [&] {
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
      {{"render", "-o", "out.bmp"}, "cannot write out.bmp: unknown picture or video format"},
      {{"decode", "missing.jpg", "-o", "out.png"}, "cannot read missing.jpg: No such file or directory"},
      {{"render", "-o", "out.png", "--messages", "nowhere/lines.txt"}, "cannot write nowhere/lines.txt"},
  };
  for (const auto& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.exit_code, 2) << c.message;
    EXPECT_NE(result.err.find("shardcast: " + c.message), std::string::npos) << result.err;
    EXPECT_EQ(listing(), (std::vector<std::string>{"folder.png", "half.png", "notes.png", "whole.png"})) << c.message;
  }
}

TEST_F(ShardcastTool, OutOfRangeValuesAreRefusedWithTheParameterAndItsRange) {
  const struct {
    std::string option;
    std::string value;
    std::string message;
  } refused[] = {
      {"--broken-bytes", "10001", "--broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between 0 and 10000"},
      {"--glitch-start", "99.91",
       "--glitch-start (\"start of glitch\" in \"Broken bytes\") must lie between 0 and 99.9"},
      {"--glitch-end", "0.09", "--glitch-end (\"end of glitch\" in \"Broken bytes\") must lie between 0.1 and 100"},
      {"--seed", "0", "--seed (\"seed\" in \"Broken bytes\") must lie between 1 and 100000000"},
      {"--qtl-seed", "100000001", "\"Quantization tables for Luma\") must lie between 1 and 100000000"},
      {"--compression-ratio", "nan", "--compression-ratio (\"Compression ratio\") must lie between 1 and 100"},
      {"--filter2-value", "-10.5", "must lie between -10 and 10"},
      {"--qtc", "maybe", "--qtc: expected on or off, or keys such as off@0,on@24, not \"maybe\""},
      {"--seed", "12abc", "--seed: expected a number, or keys such as 0@0,400@48, not \"12abc\""},
      {"--broken-bytes", "0@0,10001@5", "must lie between 0 and 10000 (the key at frame 5 is 10001)"},
      {"--broken-bytes", "0@9,5@3", "key frames must ascend, but frame 3 follows frame 9"},
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

TEST_F(ShardcastTool, ParamsListsWhatTheModuleRegistersInAlignedColumns) {
  const Outcome result = run({"params"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::istringstream lines(result.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) {
    rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 25u);  // a heading and 24 parameters
  // Every column starts where its heading does, in every row.
  const std::vector<std::string> headings = {"OPTION", "NAME", "GROUP", "RANGE", "DEFAULT", "WHAT IT DOES"};
  std::vector<std::size_t> starts;
  for (const std::string& heading : headings) {
    starts.push_back(rows[0].find(heading));
    ASSERT_NE(starts.back(), std::string::npos) << heading;
  }
  std::map<std::string, std::vector<std::string>> table;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < starts.size(); ++c) {
      ASSERT_GT(rows[r].size(), starts[c]) << rows[r];
      EXPECT_NE(rows[r][starts[c]], ' ') << rows[r];
      EXPECT_TRUE(starts[c] == 0 || rows[r][starts[c] - 1] == ' ') << rows[r];
      const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : rows[r].size();
      std::string cell = rows[r].substr(starts[c], end - starts[c]);
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    table[cells[0]] = cells;
  }
  using Row = std::vector<std::string>;
  EXPECT_EQ(table["--glitch-end"], (Row{"--glitch-end", "\"end of glitch\"", "Broken bytes", "0.1 .. 100", "100",
                                        "where in the scan data the damage ends, in percent"}));
  EXPECT_EQ(table["--qtl-max-random"][2], "Quantization tables for Luma");
  EXPECT_EQ(table["--filter2-value"][3], "-10 .. 10");
  EXPECT_EQ(table["--filter2-value"][4], "-0.1");
  EXPECT_EQ(table["--inverse-dct"][4], "on");
  EXPECT_EQ(table["--compression-ratio"][2], "-");
  for (const auto& [option, row] : table) {
    EXPECT_FALSE(row[5].empty()) << option;
  }
}

TEST_F(ShardcastTool, HelpShowsEachParametersRangeAndDefaultAsRegistered) {
  EXPECT_EQ(run({"--version"}).out, "shardcast " SHARDCAST_VERSION "\n");
  for (const char* command : {"render", "decode", "params"}) {
    const Outcome help = run({command, "--help"});
    EXPECT_EQ(help.exit_code, 0) << command;
    EXPECT_NE(help.out.find("--module"), std::string::npos) << command;
  }
  const Outcome help = run({"render", "--help"});
  for (const char* shown : {"[0 .. 10000, default 0]", "[0.1 .. 100, default 100]", "[-10 .. 10, default -0.1]",
                            "[on/off, default on]", "VALUE@FRAME"}) {
    EXPECT_NE(help.out.find(shown), std::string::npos) << shown << "\n" << help.out;
  }
}

TEST_F(ShardcastTool, ErrorLinesAreSentencesThatBeginWithTheToolsName) {
  fs::create_directory(file("folder"));
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string line;
  } cases[] = {
      {{}, 2, "give a command: render, decode, params or studio"},
      {{"paint"}, 2, "there is no command \"paint\"; the commands are render, decode, params and studio"},
      {{"rendr", "-o", "x.png"}, 2, "there is no command \"rendr\""},
      {{"render"}, 2, "an output is needed: -o FILE"},
      {{"decode", "-o", "x.png"}, 2, "decode needs a JPEG file to read"},
      {{"render", "-o", "a.png", "-o", "b.png"}, 2, "--output was given more than once; give it once"},
      {{"render", "-o", "x.png", "--seed-step", "abc"},
       2,
       "--seed-step takes a whole number from -100000000 to 100000000, not \"abc\""},
      {{"render", "-o", "x.png", "--jobs", "0"}, 2, "--jobs takes a whole number from 1 to 256, not \"0\""},
      {{"render", "-o", "x.png", "--no-such-option", "1"},
       2,
       "there is no option --no-such-option (see shardcast render --help)"},
      {{"render", "in.png", "extra.png", "-o", "x.png"}, 2, "unexpected extra.png (see shardcast render --help)"},
      {{"render", "-o", "x.png", "--seed"}, 2, "--seed needs a value"},
      {{"render", "-o", "folder"}, 2, "cannot write folder: it is a folder; name a file in it"},
      {{"render", "-o", "x.png", "--quality", "80"}, 2, "--quality applies to JPEG outputs"},
      {{"render", "-o", "x.jpg", "--format", "png"}, 2, "--format applies to pictures on standard output"},
      {{"render", "-o", "-", "--messages", "-"}, 2, "--messages - and -o - would both write to standard output"},
      {{"render", "-o", "x.png", "--module", "nowhere.so"},
       1,
       "cannot load the effect module nowhere.so: cannot open shared object file: No such file or directory"},
      {{"params", "--module", "nowhere.so"}, 1, "cannot load the effect module nowhere.so"},
  };
  for (const auto& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.line << "\n" << result.err;
    EXPECT_NE(result.err.find("shardcast: " + c.line), std::string::npos) << result.err;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("shardcast: ", 0), 0u) << line;
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"folder"}) << c.line;
  }
  // The module's path is named once.
  const std::string err = run({"render", "-o", "x.png", "--module", "nowhere.so"}).err;
  EXPECT_EQ(err.find("nowhere.so"), err.rfind("nowhere.so")) << err;
}

TEST_F(ShardcastTool, DecodeSaysOnceWhichKindOfJpegItCannotRead) {
  const struct {
    const char* name;
    int subsampling;
    int flags;
    int exit_code;
    std::string line;  // empty: the decoder reads it, nothing is said
  } kinds[] = {
      {"444.jpg", TJSAMP_444, 0, 0, ""},
      {"420.jpg", TJSAMP_420, 0, 0, ""},
      {"440.jpg", TJSAMP_440, 0, 0, ""},
      {"grey.jpg", TJSAMP_GRAY, 0, 0, ""},
      {"progressive.jpg", TJSAMP_422, TJFLAG_PROGRESSIVE, 0, "progressive.jpg is a progressive JPEG, but the decoder"},
      {"411.jpg", TJSAMP_411, 0, 3, "411.jpg is a baseline JPEG with sampling factors 4x1, 1x1, 1x1, but the decoder"},
  };
  for (const auto& kind : kinds) {
    write_bytes(kind.name, compress_jpeg(test_picture(48, 32), kind.subsampling, kind.flags));
    const Outcome result = run({"decode", kind.name, "-o", "out.png"});
    EXPECT_EQ(result.exit_code, kind.exit_code) << kind.name << "\n" << result.err;
    const auto said = std::count(result.err.begin(), result.err.end(), '\n');
    if (kind.line.empty()) {
      EXPECT_EQ(said, 1) << result.err;  // the summary alone
      EXPECT_EQ(result.err.find("but the decoder"), std::string::npos) << result.err;
    } else {
      EXPECT_NE(result.err.find("shardcast: " + kind.line), std::string::npos) << result.err;
      EXPECT_NE(result.err.find("shardcast render in.png -o clean.jpg"), std::string::npos) << result.err;
    }
  }
  // What render writes, decode reads.
  ASSERT_EQ(run({"render", "--sample-size", "40x24", "-o", "clean.jpg"}).exit_code, 0);
  const Outcome clean = run({"decode", "clean.jpg", "-o", "clean.png"});
  EXPECT_EQ(clean.exit_code, 0) << clean.err;
  EXPECT_EQ(clean.err.find("but the decoder"), std::string::npos) << clean.err;
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

// A copy of the program outside its build finds the module only where an
// installation puts it (or beside itself), and otherwise says in one line
// where it looked, with exit code 1 like any module that cannot be loaded.
TEST_F(ShardcastTool, ACopiedProgramLooksBesideItselfThenWhereAnInstallationPutsTheModule) {
  const fs::path bin = file("copied/bin");
  const fs::path beside = bin / "Shardcast.so";
  const fs::path installed = (bin / SHARDCAST_INSTALLED_MODULE_DIR / "Shardcast.so").lexically_normal();
  fs::create_directories(bin);
  fs::copy_file(SHARDCAST_CLI_PATH, bin / "shardcast");
  auto params = [&] {
    return testing::run_program(folder_, {(bin / "shardcast").string(), "params"}, {{"SHARDCAST_MODULE"}, {}, {}});
  };

  const Outcome none = params();
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.err, "shardcast: no effect module found at " + beside.string() + " or " + installed.string() +
                          " (give its path with --module or SHARDCAST_MODULE)\n");

  fs::create_directories(installed.parent_path());
  fs::copy_file(SHARDCAST_MODULE_PATH, installed);
  const Outcome found = params();
  EXPECT_EQ(found.exit_code, 0) << found.err;

  std::ofstream(beside) << "no module";
  const Outcome broken = params();
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE(broken.err.find("cannot load the effect module " + beside.string()), std::string::npos) << broken.err;
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

// libpng's writer state, released on every path.
struct PngWriter {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

void append_to_vector(png_structp png, png_bytep data, png_size_t size) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  bytes->insert(bytes->end(), data, data + size);
}

TEST(ImageFiles, InterlacedPngsReadPassByPass) {
  const Image picture = test_picture(13, 11);
  std::vector<std::uint8_t> bytes;
  {
    PngWriter writer;
    ASSERT_EQ(setjmp(png_jmpbuf(writer.png)), 0);
    png_set_write_fn(writer.png, &bytes, &append_to_vector, nullptr);
    png_set_IHDR(writer.png, writer.info, 13, 11, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png, writer.info);
    std::vector<png_bytep> rows;
    for (std::int32_t y = 0; y < 11; ++y) {
      rows.push_back(const_cast<std::uint8_t*>(picture.rgba.data()) + static_cast<std::size_t>(y) * 13 * 4);
    }
    png_write_image(writer.png, rows.data());
    png_write_end(writer.png, nullptr);
  }
  Image read;
  ASSERT_TRUE(decode_png(bytes, read).ok());
  EXPECT_EQ(read.rgba, picture.rgba);
}

TEST(ImageFiles, JpegsReadAsTurboJpegDecodesThem) {
  const Image picture = test_picture(37, 21);
  auto compress = [&](int subsampling, int flags) {
    tjhandle compressor = tjInitCompress();
    unsigned char* stream = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(compressor, picture.rgba.data(), 37, 0, 21, TJPF_RGBA, &stream, &size, subsampling, 85,
                          flags),
              0);
    std::vector<std::uint8_t> bytes(stream, stream + size);
    tjFree(stream);
    tjDestroy(compressor);
    return bytes;
  };
  const std::vector<std::uint8_t> plain = compress(TJSAMP_420, 0);
  std::vector<std::uint8_t> trailing = plain;
  trailing.insert(trailing.end(), {0x00, 0x12, 0xFF, 0xD8});
  std::vector<std::uint8_t> commented = plain;  // a comment that holds an end-of-image code
  commented.insert(commented.begin() + 2, {0xFF, 0xFE, 0x00, 0x04, 0xFF, 0xD9});
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } files[] = {
      {"4:4:4", compress(TJSAMP_444, 0)},
      {"4:2:2", compress(TJSAMP_422, 0)},
      {"4:2:0", plain},
      {"grey", compress(TJSAMP_GRAY, 0)},
      {"progressive", compress(TJSAMP_420, TJFLAG_PROGRESSIVE)},
      {"bytes after the end", trailing},
      {"comment", commented},
  };
  for (const auto& f : files) {
    Image expected = Image::filled(37, 21, 0, 0, 0, 0);
    tjhandle decompressor = tjInitDecompress();
    tjDecompress2(decompressor, f.bytes.data(), f.bytes.size(), expected.rgba.data(), 37, 0, 21, TJPF_RGBA, 0);
    tjDestroy(decompressor);
    Image read;
    const ImageResult result = decode_jpeg(f.bytes, read);
    EXPECT_TRUE(result.ok()) << f.name << ": " << result.error;
    EXPECT_EQ(read.rgba, expected.rgba) << f.name;
  }
}

TEST(PictureLimits, SizesAndDataAreJudgedAtTheirBounds) {
  const PictureLimits standard;
  const PictureLimits raised{std::uint64_t{1} << 40};
  const struct {
    const PictureLimits& limits;
    std::uint64_t width;
    std::uint64_t height;
    const char* refusal;  // empty: accepted
  } sizes[] = {
      {standard, 8192, 8192, ""},
      {standard, 7680, 4320, ""},
      {standard, 8193, 8192, "picture of 8193x8192 pixels is too large (the limit is 67108864 pixels"},
      {standard, 67108864, 1, ""},
      {standard, 0, 5, "picture of 0x5 pixels is empty"},
      {standard, 5, 0, "picture of 5x0 pixels is empty"},
      {raised, 0x7FFFFFFF, 2, ""},
      {raised, 0x80000000, 1, "picture of 2147483648x1 pixels is too large"},
      {raised, 0xFFFFFFFF, 0xFFFFFFFF, "picture of 4294967295x4294967295 pixels is too large"},
  };
  for (const auto& size : sizes) {
    const std::string refusal = size.limits.check_size("picture", size.width, size.height);
    EXPECT_EQ(refusal.substr(0, std::string(size.refusal).size()), size.refusal) << size.width << "x" << size.height;
    EXPECT_EQ(refusal.empty(), *size.refusal == '\0') << refusal;
  }
  EXPECT_EQ(check_data_fills(100, 100, 40, 40), "");
  EXPECT_EQ(check_data_fills(100, 100, 40, 39),
            "file holds 39 bytes of picture data, too few for a picture of 100x100 pixels (at least 40 needed)");
}

}  // namespace
}  // namespace shardcast::cli
