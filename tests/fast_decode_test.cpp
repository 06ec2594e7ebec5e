// The fast decode against the straightforward one. For every stream below,
// the entropy decoding through the bit buffer and lookup tables must leave
// the same coefficients, cursor, lines and engine as the bit-by-bit one, and
// the fast driver on every instruction-set level must give the same result,
// pixels, lines and engines as the reference driver. The streams reach the
// places where the fast path hands over: stuffed and fill bytes, restart
// markers and intervals, foreign markers, data that ends inside a block;
// and tables that a damaged header produces: overfull, duplicate codes,
// the symbol 0xFF, 16-bit codes, DC lengths above 11.
#include "decoder/decoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/entropy.h"
#include "decoder/fast_entropy.h"
#include "decoder/markers.h"
#include "decoder/message_sink.h"
#include "support/jpeg_stream_builder.h"

namespace shardcast {
namespace {

using testing::BitWriter;
using testing::Bytes;
using testing::JpegStreamBuilder;

struct Parsed {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::vector<BlockCell> cells;
  StreamCursor cursor;
};

Parsed parse(const Bytes& stream) {
  Parsed parsed;
  parsed.cursor.data = stream.data();
  parsed.cursor.size = static_cast<std::uint32_t>(stream.size());
  MessageWriter quiet(MessageSink::discard());
  parse_markers(parsed.cursor, *parsed.state, quiet);
  parsed.cells.resize(std::size_t{parsed.state->padded_block_rows} * parsed.state->padded_block_cols);
  parsed.state->coefficients = parsed.cells.data();
  parse_sos(parsed.cursor, *parsed.state, quiet);
  return parsed;
}

// Both entropy decodings of the stream's scan, compared.
void expect_same_entropy_decoding(const Bytes& stream, std::uint32_t seed, const std::string& label) {
  Parsed reference = parse(stream);
  Parsed fast = parse(stream);
  ASSERT_TRUE(reference.state->valid) << label;
  std::mt19937 reference_engine(seed);
  std::mt19937 engine(seed);
  std::string reference_lines;
  std::string fast_lines;
  {
    MessageWriter writer(MessageSink::appending_to(reference_lines));
    decode_scan(reference.cursor, *reference.state, reference_engine, writer);
  }
  {
    MessageWriter writer(MessageSink::appending_to(fast_lines));
    decode_scan_fast(fast.cursor, *fast.state, engine, writer);
  }
  ASSERT_EQ(std::memcmp(reference.cells.data(), fast.cells.data(), reference.cells.size() * sizeof(BlockCell)), 0)
      << label;
  EXPECT_EQ(fast.cursor.position, reference.cursor.position) << label;
  EXPECT_EQ(fast.cursor.next_bit, reference.cursor.next_bit) << label;
  EXPECT_EQ(fast.cursor.current_byte, reference.cursor.current_byte) << label;
  EXPECT_EQ(fast_lines, reference_lines) << label;
  EXPECT_TRUE(engine == reference_engine) << label;
}

// The engines and settings of one decode, seeded afresh for each run.
struct Run {
  std::mt19937 recovery;
  std::mt19937 luma;
  std::mt19937 chroma;
  bool same_engines(const Run& other) const {
    return recovery == other.recovery && luma == other.luma && chroma == other.chroma;
  }
};

struct Outcome {
  std::int32_t result;
  std::vector<std::uint8_t> pixels;
  std::string lines;
  Run engines;
};

// Stage switches and tampering that every whole-stream comparison runs with.
struct Settings {
  const char* name;
  StageSwitches stages;
  bool tamper;
};

const Settings settings_cases[] = {
    {"all stages", {true, true, true}, false},
    {"tampered tables", {true, true, true}, true},
    {"no dequantisation", {false, true, true}, true},
    {"no inverse DCT", {true, false, true}, false},
    {"no colour conversion", {true, true, false}, false},
    {"no stages", {false, false, false}, false},
};

Outcome decode(const Settings& s, std::uint32_t seed, const Bytes& stream, std::int32_t width, std::int32_t height,
               bool fast, SimdLevel level) {
  Outcome outcome;
  outcome.engines = {std::mt19937(seed), std::mt19937(99), std::mt19937(4242)};
  DecodeOptions options{outcome.engines.recovery, outcome.engines.luma, outcome.engines.chroma, {}, {}, s.stages};
  if (s.tamper) {
    options.luma = {true, 3, 200, 12, 90};
    options.chroma = {true, 1, 0, 30, 255};
  }
  outcome.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0x5A);
  const PixelBuffer output{outcome.pixels.data(), width, height};
  const MessageSink lines = MessageSink::appending_to(outcome.lines);
  const auto length = static_cast<std::uint32_t>(stream.size());
  outcome.result = fast ? decode_stream_with(level, stream.data(), length, options, output, lines)
                        : decode_stream_reference(stream.data(), length, options, output, lines);
  return outcome;
}

void expect_same_decode(const Bytes& stream, std::int32_t width, std::int32_t height, std::uint32_t seed,
                        const std::string& label) {
  for (const Settings& s : settings_cases) {
    const Outcome reference = decode(s, seed, stream, width, height, false, SimdLevel::scalar);
    for (const SimdLevel level : all_simd_levels) {
      if (!simd_level_available(level)) {
        continue;
      }
      const Outcome fast = decode(s, seed, stream, width, height, true, level);
      const std::string where = label + ", " + s.name + ", " + simd_level_name(level);
      ASSERT_EQ(fast.result, reference.result) << where;
      ASSERT_TRUE(fast.pixels == reference.pixels) << where;
      ASSERT_EQ(fast.lines, reference.lines) << where;
      ASSERT_TRUE(fast.engines.same_engines(reference.engines)) << where;
    }
  }
}

Bytes compress(int width, int height, int subsampling, int quality) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 noise(static_cast<std::uint32_t>(width * 31 + height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>((y * 200 / height) ^ (noise() & 0x3F));
      p[2] = static_cast<std::uint8_t>(((x / 4 + y / 3) % 2) * 120 + (noise() & 0x1F));
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* data = nullptr;
  unsigned long size = 0;
  Bytes stream;
  if (tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &data, &size, subsampling, quality, 0) == 0) {
    stream.assign(data, data + size);
  }
  tjFree(data);
  tjDestroy(handle);
  return stream;
}

// Overwrites `count` bytes behind the scan header with seeded values, some
// of them 0xFF and marker codes so that the fast path meets them.
Bytes damage(Bytes stream, int count, std::uint32_t seed) {
  std::size_t scan = 0;
  for (std::size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0xFF && stream[i + 1] == 0xDA) {
      scan = i + 2 + (std::size_t{stream[i + 2]} << 8 | stream[i + 3]);
      break;
    }
  }
  std::mt19937 engine(seed);
  const std::uint8_t special[] = {0xFF, 0x00, 0xD0, 0xD7, 0xD9, 0xC4};
  for (int n = 0; n < count && scan + 2 < stream.size(); ++n) {
    const std::size_t at = scan + engine() % (stream.size() - 2 - scan);
    stream[at] = n % 3 == 0 ? special[engine() % 6] : static_cast<std::uint8_t>(engine());
  }
  return stream;
}

struct EncodedCase {
  int width;
  int height;
  int subsampling;
  int quality;
};

const EncodedCase encoded_cases[] = {
    {64, 48, TJSAMP_422, 100}, {50, 30, TJSAMP_422, 70},  {17, 9, TJSAMP_422, 50},   {40, 40, TJSAMP_420, 90},
    {24, 40, TJSAMP_440, 85},  {33, 21, TJSAMP_444, 100}, {30, 20, TJSAMP_GRAY, 95},
};

std::string name_of(const EncodedCase& c) {
  return std::to_string(c.width) + "x" + std::to_string(c.height) + " sampling " + std::to_string(c.subsampling) +
         " quality " + std::to_string(c.quality);
}

TEST(FastDecode, CleanStreamsFromTheEncoderDecodeAlike) {
  for (const EncodedCase& c : encoded_cases) {
    const Bytes stream = compress(c.width, c.height, c.subsampling, c.quality);
    ASSERT_FALSE(stream.empty());
    expect_same_entropy_decoding(stream, 1, name_of(c));
    expect_same_decode(stream, c.width, c.height, 1, name_of(c));
  }
}

TEST(FastDecode, DamagedStreamsDecodeAlike) {
  for (const EncodedCase& c : encoded_cases) {
    const Bytes clean = compress(c.width, c.height, c.subsampling, c.quality);
    for (std::uint32_t seed = 0; seed < 12; ++seed) {
      const Bytes stream = damage(clean, 1 + static_cast<int>(seed) * 7, seed);
      const std::string label = name_of(c) + ", damage seed " + std::to_string(seed);
      expect_same_entropy_decoding(stream, seed, label);
      expect_same_decode(stream, c.width, c.height, seed, label);
    }
  }
}

TEST(FastDecode, StreamsCutShortDecodeAlike) {
  const Bytes clean = compress(64, 48, TJSAMP_422, 100);
  for (std::size_t cut = clean.size() - 2; cut > clean.size() / 2; cut -= 97) {
    const Bytes stream(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(cut));
    expect_same_entropy_decoding(stream, 5, "cut at " + std::to_string(cut));
    expect_same_decode(stream, 64, 48, 5, "cut at " + std::to_string(cut));
  }
}

// A hand-made baseline frame of width x height luma samples (one component)
// with the given tables, restart interval and entropy-coded data.
struct HandMade {
  const char* name;
  std::array<std::uint8_t, 16> dc_counts;
  Bytes dc_symbols;
  std::array<std::uint8_t, 16> ac_counts;
  Bytes ac_symbols;
  std::uint16_t restart_interval;
  std::uint8_t frame_code;
};

Bytes hand_made_stream(const HandMade& h, std::uint16_t width, std::uint16_t height, const Bytes& data) {
  JpegStreamBuilder builder;
  builder.soi().dqt_all(0, 3).sof(h.frame_code, height, width, {{1, 0x11, 0}});
  builder.dht(0, 0, h.dc_counts, h.dc_symbols).dht(1, 0, h.ac_counts, h.ac_symbols);
  if (h.restart_interval != 0) {
    builder.dri(h.restart_interval);
  }
  // A progressive frame's first scan carries DC only.
  builder.sos({{1, 0x00}}, 0, h.frame_code == 0xC2 ? 0 : 63).raw(data).eoi();
  return builder.build();
}

// Entropy-coded data that walks the bits of the seeded engine, with markers,
// stuffing and fill bytes spread through it.
Bytes noisy_data(std::uint32_t seed, std::size_t bytes) {
  std::mt19937 engine(seed);
  BitWriter writer;
  for (std::size_t n = 0; n < bytes; ++n) {
    switch (engine() % 40) {
      case 0:
        writer.raw_byte(0xFF).raw_byte(static_cast<std::uint8_t>(0xD0 + engine() % 8));  // restart marker
        break;
      case 1:
        writer.raw_byte(0xFF).raw_byte(0xFF).raw_byte(0x00);  // fill byte, then stuffed 0xFF
        break;
      case 2:
        writer.raw_byte(0xFF).raw_byte(0xC8);  // foreign marker
        break;
      default:
        writer.bits(engine() & 0xFF, 8);  // 0xFF data bytes are stuffed by the writer
    }
  }
  return writer.finish();
}

// Complete tables of short codes, as an encoder writes them.
HandMade well_formed_tables(const char* name, std::uint16_t restart_interval) {
  return {name,
          {0, 3, 1, 1},
          {0, 2, 3, 1, 5},
          {0, 3, 0, 2, 2},
          {0x00, 0x01, 0x02, 0xF0, 0x13, 0x21, 0x0A},
          restart_interval,
          0xC0};
}

const HandMade hand_made_cases[] = {
    well_formed_tables("well-formed tables", 0),
    {"overfull tables",
     {3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 2},
     {1, 2, 3, 4, 5, 6, 7, 8},
     {3, 5, 9},
     Bytes(17, 0x11),
     0,
     0xC0},
    {"duplicate symbols and the symbol 0xFF",
     {0, 2, 2},
     {3, 3, 0xFF, 4},
     {0, 2, 2, 2},
     {0x01, 0x01, 0xFF, 0x00, 0x32, 0xFF},
     0,
     0xC0},
    {"sixteen-bit codes",
     {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2},
     {0, 4, 6},
     {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 5},
     {0x00, 0x05, 0x0A, 0x09, 0x1F, 0x00, 0xF0},
     0,
     0xC0},
    {"DC lengths above 11", {0, 2, 2}, {1, 12, 0, 15}, {0, 3}, {0x00, 0x01, 0x11}, 0, 0xC0},
    {"AC sizes above 10 and long runs", {0, 1, 1}, {2, 3}, {0, 2, 2}, {0x0B, 0xF0, 0x3F, 0x00}, 0, 0xC0},
    well_formed_tables("a restart interval of 1", 1),
    well_formed_tables("a restart interval of 3", 3),
    {"a progressive frame", {0, 3}, {0, 1, 2}, {0, 3}, {0x00, 0x01, 0x02}, 0, 0xC2},
};

TEST(FastDecode, HandMadeTablesAndDataDecodeAlike) {
  for (const HandMade& h : hand_made_cases) {
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
      const Bytes stream = hand_made_stream(h, 40, 24, noisy_data(seed, 20 + seed * 13));
      const std::string label = std::string(h.name) + ", data seed " + std::to_string(seed);
      expect_same_entropy_decoding(stream, seed, label);
      expect_same_decode(stream, 40, 24, seed, label);
    }
  }
}

// Every 16-bit pattern at the start of the data, so that the lookup meets
// every code of every length, and every pattern that matches nothing.
TEST(FastDecode, EverySixteenBitPatternDecodesAlike) {
  for (const HandMade& h : {hand_made_cases[0], hand_made_cases[1], hand_made_cases[3]}) {
    for (std::uint32_t pattern = 0; pattern < 0x10000; pattern += 1) {
      const Bytes data = BitWriter().bits(pattern, 16).bits(0x5A3C, 16).finish();
      const Bytes stream = hand_made_stream(h, 8, 8, data);
      Parsed reference = parse(stream);
      Parsed fast = parse(stream);
      std::mt19937 reference_engine(0);
      std::mt19937 engine(0);
      MessageWriter quiet(MessageSink::discard());
      decode_scan(reference.cursor, *reference.state, reference_engine, quiet);
      decode_scan_fast(fast.cursor, *fast.state, engine, quiet);
      ASSERT_EQ(std::memcmp(reference.cells.data(), fast.cells.data(), sizeof(BlockCell)), 0)
          << h.name << ", pattern " << pattern;
      ASSERT_EQ(fast.cursor.position, reference.cursor.position) << h.name << ", pattern " << pattern;
      ASSERT_EQ(fast.cursor.next_bit, reference.cursor.next_bit) << h.name << ", pattern " << pattern;
      ASSERT_TRUE(engine == reference_engine) << h.name << ", pattern " << pattern;
    }
  }
}

TEST(FastDecode, ScansOfOneComponentOfAColourFrameDecodeAlike) {
  // A colour frame whose scan lists only luma (one block per MCU) or only
  // a chroma component (interleaved order with one component).
  for (const std::uint8_t component : {1, 2}) {
    for (const std::uint8_t sampling : {0x11, 0x21, 0x12, 0x22}) {
      JpegStreamBuilder builder;
      builder.soi().dqt_all(0, 2).dqt_all(1, 5).sof(0xC0, 20, 36, {{1, sampling, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
      const HandMade& tables = hand_made_cases[0];  // well-formed tables
      builder.dht(0, 0, tables.dc_counts, tables.dc_symbols).dht(1, 0, tables.ac_counts, tables.ac_symbols);
      builder.sos({{component, 0x00}}).raw(noisy_data(component * 100u + sampling, 300)).eoi();
      const Bytes stream = builder.build();
      const std::string label = "component " + std::to_string(component) + ", sampling " + std::to_string(sampling);
      expect_same_entropy_decoding(stream, 9, label);
      expect_same_decode(stream, 36, 20, 9, label);
    }
  }
}

TEST(FastDecode, AWorkBufferOfAnotherSizeIsWrittenAlike) {
  const Bytes stream = damage(compress(50, 30, TJSAMP_422, 80), 20, 3);
  expect_same_decode(stream, 32, 40, 2, "buffer narrower and taller than the frame");
  expect_same_decode(stream, 64, 16, 2, "buffer wider and shorter than the frame");
}

TEST(FastDecode, FailedHeadersFailAlike) {
  const Bytes clean = compress(16, 16, TJSAMP_422, 90);
  const Bytes cases[] = {
      {},
      {0xFF, 0xD8},
      Bytes(clean.begin(), clean.begin() + 200),
      JpegStreamBuilder().soi().dqt_all(0, 1).sos({{1, 0x00}}).build(),
  };
  for (const Bytes& stream : cases) {
    expect_same_decode(stream, 16, 16, 1, "header of " + std::to_string(stream.size()) + " bytes");
  }
}

}  // namespace
}  // namespace shardcast
