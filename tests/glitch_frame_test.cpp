#include "pipeline/glitch_frame.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"

namespace shardcast {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A stream of `length` bytes of 0x11 with FF DA at `marker`, so the scan
// offset is marker + 30.
Bytes stream_with_scan_at(std::uint32_t length, std::uint32_t marker) {
  Bytes stream(length, 0x11);
  stream[marker] = 0xFF;
  stream[marker + 1] = 0xDA;
  return stream;
}

GlitchSettings corruption_settings(std::int32_t seed, std::int32_t broken_bytes, float start, float end) {
  GlitchSettings settings;
  settings.seed = seed;
  settings.broken_bytes = broken_bytes;
  settings.glitch_start = start;
  settings.glitch_end = end;
  settings.messages = MessageSink::discard();
  settings.seed_engines();
  return settings;
}

// Compares engine states; on a mismatch only the next draw of each is shown.
::testing::AssertionResult same_engine(const std::mt19937& actual, const std::mt19937& expected) {
  if (actual == expected) {
    return ::testing::AssertionSuccess();
  }
  std::mt19937 a = actual;
  std::mt19937 e = expected;
  return ::testing::AssertionFailure() << "engines differ, next draws " << a() << " and " << e();
}

std::mt19937 engine_after(std::int32_t seed, unsigned long long draws) {
  std::mt19937 engine(static_cast<std::uint32_t>(seed));
  engine.discard(draws);
  return engine;
}

// Pixels of four bytes, alpha first: a smooth colour ramp with alpha set to
// a pattern the decoder must not touch.
Bytes ramp_picture(int width, int height) {
  Bytes pixels(static_cast<std::size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(40 + x * 2);
      p[2] = static_cast<std::uint8_t>(60 + y * 2);
      p[3] = 128;
    }
  }
  return pixels;
}

Bytes noise_picture(int width, int height, std::uint32_t seed) {
  Bytes pixels(static_cast<std::size_t>(width) * height * 4);
  std::mt19937 engine(seed);
  for (std::uint8_t& b : pixels) b = static_cast<std::uint8_t>(engine());
  return pixels;
}

// What the stage hands to the decoder before damage, made the same way.
Bytes compress(Bytes pixels, int width, int height, int quality) {
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int status =
      tjCompress2(handle, pixels.data(), width, 0, height, TJPF_XRGB, &buffer, &size, TJSAMP_422, quality, 0);
  tjDestroy(handle);
  Bytes stream;
  if (status == 0) {
    stream.assign(buffer, buffer + size);
  }
  tjFree(buffer);
  return stream;
}

// Every parameter at its default.
GlitchSettings frame_settings(Bytes& pixels, int width, int height) {
  GlitchSettings settings = default_settings();
  settings.pixels = pixels.data();
  settings.width = width;
  settings.height = height;
  settings.messages = MessageSink::discard();
  return settings;
}

TEST(ScanSearch, FindsTheFirstStartOfScanPairAndAddsThirty) {
  Bytes stream = stream_with_scan_at(200, 40);
  stream[120] = 0xFF;
  stream[121] = 0xDA;
  EXPECT_EQ(find_scan_offset(stream.data(), 200), 70u);
}

TEST(ScanSearch, SkipsFillBytesAndOtherMarkers) {
  const Bytes stream{0xFF, 0xD8, 0xFF, 0xFF, 0xDA, 0x00};
  EXPECT_EQ(find_scan_offset(stream.data(), 6), 33u);
}

TEST(ScanSearch, GivesZeroWithoutAPairInsideTheStream) {
  const Bytes none{0xFF, 0xD8, 0xFF, 0xD9, 0x00};
  EXPECT_EQ(find_scan_offset(none.data(), 5), 0u);
  // A trailing FF whose DA would lie past the end is not a pair.
  const Bytes split{0x00, 0xFF, 0xDA};
  EXPECT_EQ(find_scan_offset(split.data(), 2), 0u);
  EXPECT_EQ(find_scan_offset(split.data(), 0), 0u);
}

TEST(CorruptionWindow, OnePercentOfTheSpanScalesStartAndWidth) {
  const CorruptionWindow window = corruption_window(10.0f, 20.0f, 10030, 600);
  EXPECT_EQ(window.unit, 94.0f);
  EXPECT_EQ(window.start, 940);
  EXPECT_EQ(window.width, 940);
  // (10129 - 600 - 30) / 100 = 94.99 is truncated before scaling.
  EXPECT_EQ(corruption_window(0.0f, 100.0f, 10129, 600).unit, 94.0f);
}

TEST(CorruptionWindow, EndBelowStartGivesANegativeWidth) {
  const CorruptionWindow window = corruption_window(20.0f, 10.0f, 10030, 600);
  EXPECT_EQ(window.start, 1880);
  EXPECT_EQ(window.width, -940);
}

TEST(CorruptionWindow, ShortStreamWrapsTheSpanAsUnsigned) {
  // 100 - 90 - 30 wraps to 2^32 - 20; a hundredth of that is 42949672.
  const CorruptionWindow window = corruption_window(60.0f, 70.0f, 100, 90);
  EXPECT_EQ(window.unit, 42949672.0f);
  EXPECT_EQ(window.start, std::numeric_limits<std::int32_t>::min());
  EXPECT_GT(window.width, 0);
}

TEST(Corruption, EveryWriteLandsInsideTheWindow) {
  const Bytes original = stream_with_scan_at(10030, 570);
  Bytes stream = original;
  GlitchSettings settings = corruption_settings(7, 5000, 10.0f, 20.0f);
  corrupt_stream(settings, stream.data(), 10030);

  std::size_t changed = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    if (stream[i] == original[i]) {
      continue;
    }
    ++changed;
    EXPECT_GE(i, 1540u);
    EXPECT_LT(i, 2480u);
  }
  EXPECT_GT(changed, 900u);
}

TEST(Corruption, DrawsThePositionBeforeTheValue) {
  Bytes expected = stream_with_scan_at(10030, 570);
  Bytes stream = expected;
  GlitchSettings settings = corruption_settings(42, 3, 10.0f, 20.0f);
  std::mt19937 engine = engine_after(42, 0);
  for (int n = 0; n < 3; ++n) {
    const auto position = static_cast<std::uint32_t>(engine());
    const auto value = static_cast<std::uint32_t>(engine());
    expected[1540 + position % 940] = static_cast<std::uint8_t>(value);
  }
  corrupt_stream(settings, stream.data(), 10030);
  EXPECT_EQ(stream, expected);
  EXPECT_TRUE(same_engine(settings.glitch_rng, engine));
}

TEST(Corruption, ZeroWidthWindowWritesOneByteWithTheLastDraw) {
  const Bytes original = stream_with_scan_at(10030, 570);
  Bytes stream = original;
  GlitchSettings settings = corruption_settings(3, 5, 30.0f, 30.0f);
  corrupt_stream(settings, stream.data(), 10030);

  std::mt19937 engine = engine_after(3, 4);
  Bytes expected = original;
  expected[600 + 30 * 94] = static_cast<std::uint8_t>(engine());
  EXPECT_EQ(stream, expected);
  EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(3, 5)));
}

TEST(Corruption, ZeroWidthWindowAtTheEndReachesTheLastWritableByte) {
  Bytes stream = stream_with_scan_at(10030, 570);
  GlitchSettings settings = corruption_settings(9, 1, 100.0f, 100.0f);
  std::mt19937 engine = engine_after(9, 0);
  corrupt_stream(settings, stream.data(), 10030);
  EXPECT_EQ(stream[10030 - 30], static_cast<std::uint8_t>(engine()));
}

TEST(Corruption, NothingIsDrawnWithoutBrokenBytes) {
  for (const std::int32_t broken : {0, -5}) {
    const Bytes original = stream_with_scan_at(10030, 570);
    Bytes stream = original;
    GlitchSettings settings = corruption_settings(5, broken, 10.0f, 20.0f);
    corrupt_stream(settings, stream.data(), 10030);
    EXPECT_EQ(stream, original);
    EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(5, 0)));
  }
}

TEST(Corruption, EqualSeedsGiveIdenticalDamage) {
  const Bytes original = stream_with_scan_at(10030, 570);
  Bytes first = original;
  Bytes second = original;
  Bytes other = original;
  GlitchSettings a = corruption_settings(11, 300, 0.0f, 100.0f);
  GlitchSettings b = corruption_settings(11, 300, 0.0f, 100.0f);
  GlitchSettings c = corruption_settings(12, 300, 0.0f, 100.0f);
  corrupt_stream(a, first.data(), 10030);
  corrupt_stream(b, second.data(), 10030);
  corrupt_stream(c, other.data(), 10030);
  EXPECT_EQ(first, second);
  EXPECT_NE(first, other);
}

TEST(Corruption, ShortStreamIsLeftIntactButTheDrawsAreMade) {
  // Scan offset 90, length 100: shorter than scan offset + 30.
  for (const auto& [start, end, draws] : {std::tuple{10.0f, 20.0f, 8}, std::tuple{40.0f, 40.0f, 4}}) {
    const Bytes original = stream_with_scan_at(100, 60);
    Bytes stream = original;
    GlitchSettings settings = corruption_settings(21, 4, start, end);
    corrupt_stream(settings, stream.data(), 100);
    EXPECT_EQ(stream, original);
    EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(21, draws)));
  }
}

TEST(Corruption, HeadersAndTailAreNeverTouched) {
  std::vector<Bytes> streams;
  for (const auto& [w, h] : {std::pair{16, 8}, std::pair{16, 16}, std::pair{32, 8}, std::pair{48, 40}}) {
    streams.push_back(compress(noise_picture(w, h, static_cast<std::uint32_t>(w * h)), w, h, 100));
  }
  streams.push_back(compress(ramp_picture(16, 8), 16, 8, 10));
  streams.push_back(stream_with_scan_at(64, 0));
  streams.push_back(stream_with_scan_at(200, 100));

  const std::array<std::pair<float, float>, 9> windows{{{0.0f, 100.0f},
                                                        {10.0f, 20.0f},
                                                        {50.0f, 50.0f},
                                                        {99.9f, 100.0f},
                                                        {100.0f, 100.0f},
                                                        {0.0f, 0.1f},
                                                        {80.0f, 20.0f},
                                                        {100.0f, 0.0f},
                                                        {99.9f, 0.1f}}};
  bool short_stream_seen = false;
  for (const Bytes& original : streams) {
    ASSERT_GT(original.size(), 30u);
    const auto length = static_cast<std::uint32_t>(original.size());
    const Bytes marker{0xFF, 0xDA};
    const auto scan = std::search(original.begin(), original.end(), marker.begin(), marker.end());
    ASSERT_NE(scan, original.end());
    const std::size_t first_writable = static_cast<std::size_t>(scan - original.begin()) + 30;
    if (first_writable + 30 > length) {
      short_stream_seen = true;
    }

    for (const auto& [start, end] : windows) {
      for (std::int32_t seed = 0; seed < 25; ++seed) {
        Bytes stream = original;
        GlitchSettings settings = corruption_settings(seed, 400, start, end);
        corrupt_stream(settings, stream.data(), length);
        for (std::size_t i = 0; i < stream.size(); ++i) {
          if (i >= first_writable && i + 30 <= length) {
            continue;
          }
          ASSERT_EQ(stream[i], original[i])
              << "byte " << i << " of " << length << ", window " << start << " to " << end << ", seed " << seed;
        }
      }
    }
  }
  EXPECT_TRUE(short_stream_seen);
}

TEST(GlitchFrame, RefusesANullPixelAddress) {
  GlitchSettings settings;
  settings.width = 16;
  settings.height = 8;
  settings.quality = 90;
  settings.broken_bytes = 10;
  settings.seed_engines();
  EXPECT_EQ(settings.glitch_frame(), -1);
  EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(0, 0)));
}

TEST(GlitchFrame, RejectedCompressionLeavesThePictureAndTheEngine) {
  Bytes pixels = ramp_picture(32, 16);
  const Bytes original = pixels;
  GlitchSettings settings = frame_settings(pixels, 32, 16);
  settings.broken_bytes = 10;
  settings.quality = 101;
  EXPECT_EQ(settings.glitch_frame(), -1);
  settings.quality = 90;
  settings.width = 0;
  EXPECT_EQ(settings.glitch_frame(), -1);
  EXPECT_EQ(pixels, original);
  EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(1, 0)));
}

TEST(GlitchFrame, UndamagedFrameComesBackCloseToTheInputWithAlphaKept) {
  Bytes pixels = ramp_picture(64, 32);
  const Bytes original = pixels;
  GlitchSettings settings = frame_settings(pixels, 64, 32);
  ASSERT_EQ(settings.glitch_frame(), 0);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (i % 4 == 0) {
      ASSERT_EQ(pixels[i], original[i]) << "alpha of pixel " << i / 4;
    } else {
      ASSERT_LE(std::abs(pixels[i] - original[i]), 6) << "byte " << i;
    }
  }
  // An undamaged stream needs no recovery draws.
  EXPECT_TRUE(same_engine(settings.glitch_rng, engine_after(1, 0)));
}

TEST(GlitchFrame, SameSettingsGiveTheSameFrameAndEngine) {
  const Bytes input = noise_picture(96, 48, 5);
  Bytes first = input;
  Bytes second = input;
  Bytes other = input;
  GlitchSettings a = frame_settings(first, 96, 48);
  GlitchSettings b = frame_settings(second, 96, 48);
  GlitchSettings c = frame_settings(other, 96, 48);
  for (GlitchSettings* s : {&a, &b, &c}) s->broken_bytes = 200;
  c.seed = 2;
  c.seed_engines();
  EXPECT_EQ(a.glitch_frame(), 0);
  EXPECT_EQ(b.glitch_frame(), 0);
  EXPECT_EQ(c.glitch_frame(), 0);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(same_engine(a.glitch_rng, b.glitch_rng));
  EXPECT_NE(first, other);
}

TEST(GlitchFrame, DecodesTheStreamItCompressedAndDamaged) {
  const Bytes input = noise_picture(64, 40, 9);
  Bytes staged = input;
  GlitchSettings stage = frame_settings(staged, 64, 40);
  stage.quality = 80;
  stage.broken_bytes = 300;
  stage.glitch_start = 5.0f;
  stage.glitch_end = 60.0f;

  Bytes by_hand = input;
  GlitchSettings hand = stage;
  hand.pixels = by_hand.data();
  Bytes stream = compress(input, 64, 40, 80);
  const auto length = static_cast<std::uint32_t>(stream.size());
  corrupt_stream(hand, stream.data(), length);
  ASSERT_EQ(hand.decode_to_work_buffer(stream.data(), length), 0);

  ASSERT_EQ(stage.glitch_frame(), 0);
  EXPECT_EQ(staged, by_hand);
  EXPECT_TRUE(same_engine(stage.glitch_rng, hand.glitch_rng));
}

TEST(GlitchFrame, TinyFrameIsDecodedUndamagedAfterTheDraws) {
  // A flat 16x8 frame's scan data is far shorter than 30 bytes, so no byte
  // can be damaged; the engine still moves by two draws per broken byte.
  Bytes damaged(16 * 8 * 4, 0x80);
  Bytes clean = damaged;
  GlitchSettings with_damage = frame_settings(damaged, 16, 8);
  with_damage.broken_bytes = 50;
  GlitchSettings without = frame_settings(clean, 16, 8);
  ASSERT_EQ(with_damage.glitch_frame(), 0);
  ASSERT_EQ(without.glitch_frame(), 0);
  EXPECT_EQ(damaged, clean);
  EXPECT_TRUE(same_engine(with_damage.glitch_rng, engine_after(1, 100)));
}

}  // namespace
}  // namespace shardcast
