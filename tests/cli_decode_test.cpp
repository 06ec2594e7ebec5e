// shardcast decode, run as a user runs it: a JPEG file read by the tool's
// own decoder alone, with no damage of its own. Each test starts the built
// program in a fresh folder and compares the picture it writes and the
// decoder lines it passes on with the decoder library called directly, and
// checks what it refuses and what it says about streams it cannot read.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"
#include "support/jpeg_stream_builder.h"
#include "support/tool_fixture.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::ProgramRun;
using testing::compress_jpeg;
using testing::scan_start;
using testing::ShardcastTool;
using testing::slurp;
using testing::test_picture;

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

}  // namespace
}  // namespace shardcast::cli
