#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "decoder/numeric.h"
#include "pipeline/glitch_settings.h"

// The snapshot-failure test asks for an impossible block; under
// AddressSanitizer that must come back as null, as it does without it.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace shardcast {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Picture {
  int width;
  int height;
  Bytes pixels;

  Picture(int w, int h, std::uint8_t fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 4, fill) {}

  std::uint8_t* at(int x, int y) { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }

  GlitchSettings settings(float filter1, float filter2) {
    GlitchSettings s;
    s.pixels = pixels.data();
    s.width = width;
    s.height = height;
    s.filter1_value = filter1;
    s.filter2_value = filter2;
    return s;
  }
};

Picture noise(int w, int h, std::uint32_t seed) {
  Picture picture(w, h);
  std::mt19937 engine(seed);
  for (std::uint8_t& b : picture.pixels) b = static_cast<std::uint8_t>(engine());
  return picture;
}

// The filters written out term by term, all nine weights included, as a
// yardstick for the real passes. `in_place` selects filter 2's reads and
// byte conversion.
void reference_filter(Picture& picture, float value, bool in_place) {
  const float v = value == 0.0f ? 0.1f : value;
  const float weights[3][3] = {{0.0f, -v, 0.0f}, {-v, v * 4.0f, -v}, {0.0f, -v, 0.0f}};  // [dx][dy]
  const Bytes snapshot = picture.pixels;
  for (int y = 1; y < picture.height - 1; ++y) {
    for (int x = 1; x < picture.width - 1; ++x) {
      float sums[3] = {0.0f, 0.0f, 0.0f};
      for (int c = 1; c <= 3; ++c) {
        for (int dx = -1; dx <= 1; ++dx) {
          for (int dy = -1; dy <= 1; ++dy) {
            const std::size_t at = (static_cast<std::size_t>(y + dy) * picture.width + (x + dx)) * 4 + c;
            const std::uint8_t sample = in_place ? picture.pixels[at] : snapshot[at];
            sums[c - 1] += static_cast<float>(sample) * weights[dx + 1][dy + 1];
          }
        }
      }
      for (int c = 1; c <= 3; ++c) {
        const float sum = sums[c - 1];
        std::int32_t result;
        if (!in_place) {
          result = truncate_to_int32(sum);
        } else {
          result = sum > 255.0f ? 255 : truncate_to_int32(std::round(sum));
        }
        picture.at(x, y)[c] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(result));
      }
    }
  }
}

// One interior pixel whose channels give the sums 400 (red), -1.5 (green)
// and 100 (blue) with weight 0.5.
Picture sum_examples() {
  Picture picture(3, 3);
  picture.at(1, 1)[1] = 200;
  picture.at(1, 1)[2] = 0;
  picture.at(1, 1)[3] = 50;
  picture.at(0, 1)[2] = 3;
  return picture;
}

TEST(Filter1, WrapsTruncatedSumsModulo256) {
  Picture picture = sum_examples();
  picture.settings(0.5f, 0.0f).apply_filter1();
  EXPECT_EQ(picture.at(1, 1)[1], 144);  // 400
  EXPECT_EQ(picture.at(1, 1)[2], 255);  // -1.5 truncated to -1
  EXPECT_EQ(picture.at(1, 1)[3], 100);

  Picture exact(3, 3);
  exact.at(1, 1)[1] = 64;
  exact.settings(1.0f, 0.0f).apply_filter1();
  EXPECT_EQ(exact.at(1, 1)[1], 0);  // 256
}

TEST(Filter2, SaturatesAboveAndRoundsAndWrapsBelow) {
  Picture picture = sum_examples();
  picture.settings(0.0f, 0.5f).apply_filter2();
  EXPECT_EQ(picture.at(1, 1)[1], 255);  // 400
  EXPECT_EQ(picture.at(1, 1)[2], 254);  // -1.5 rounded to -2
  EXPECT_EQ(picture.at(1, 1)[3], 100);

  // -0.5 rounds away from zero to -1; -0.4 rounds to 0.
  Picture half(3, 3);
  half.at(0, 1)[1] = 1;
  half.settings(0.0f, 0.5f).apply_filter2();
  EXPECT_EQ(half.at(1, 1)[1], 255);
  Picture less(3, 3);
  less.at(0, 1)[1] = 1;
  less.settings(0.0f, 0.4f).apply_filter2();
  EXPECT_EQ(less.at(1, 1)[1], 0);
}

TEST(Filter1, UnitWeightBlackensAFlatInteriorAndKeepsAlpha) {
  Picture picture(8, 6, 77);
  picture.settings(1.0f, 0.0f).apply_filter1();
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool border = x == 0 || y == 0 || x == 7 || y == 5;
      const std::uint8_t* p = picture.at(x, y);
      EXPECT_EQ(p[0], 77);
      for (int c = 1; c <= 3; ++c) EXPECT_EQ(p[c], border ? 77 : 0) << x << "," << y;
    }
  }
}

TEST(Filter2, UnitWeightOnAFlatPictureAlternatesAlongTheFirstRow) {
  Picture picture(10, 5, 90);
  picture.settings(0.0f, 1.0f).apply_filter2();
  for (int x = 1; x < 9; ++x) {
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(picture.at(x, 1)[c], x % 2 == 1 ? 0 : 90) << x;
  }
}

TEST(Filters, MatchTheTermByTermSumsForAnyWeight) {
  for (const float weight : {1.0f, 0.5f, 0.1f, -0.7f, 2.3f, 1e-3f, 37.1f, -250.0f, 0.0f, 1e30f}) {
    const Picture input = noise(13, 9, 17);
    Picture real = input;
    Picture expected = input;
    real.settings(weight, 0.0f).apply_filter1();
    reference_filter(expected, weight, false);
    EXPECT_EQ(real.pixels, expected.pixels) << "filter 1, weight " << weight;

    real = input;
    expected = input;
    real.settings(0.0f, weight).apply_filter2();
    reference_filter(expected, weight, true);
    EXPECT_EQ(real.pixels, expected.pixels) << "filter 2, weight " << weight;
  }
}

TEST(Filters, ZeroWeightActsAsOneTenth) {
  const Picture input = noise(12, 10, 3);
  for (const float zero : {0.0f, -0.0f}) {
    Picture zeroed = input;
    Picture tenth = input;
    zeroed.settings(zero, zero).apply_filter1();
    tenth.settings(0.1f, 0.1f).apply_filter1();
    EXPECT_EQ(zeroed.pixels, tenth.pixels);
    zeroed.settings(zero, zero).apply_filter2();
    tenth.settings(0.1f, 0.1f).apply_filter2();
    EXPECT_EQ(zeroed.pixels, tenth.pixels);
  }
}

TEST(Filters, BordersAndAlphaSurviveBothPasses) {
  const Picture input = noise(20, 15, 8);
  Picture picture = input;
  GlitchSettings settings = picture.settings(1.7f, -0.3f);
  settings.apply_filter1();
  settings.apply_filter2();
  EXPECT_NE(picture.pixels, input.pixels);
  for (int y = 0; y < 15; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool border = x == 0 || y == 0 || x == 19 || y == 14;
      const std::size_t at = (static_cast<std::size_t>(y) * 20 + x) * 4;
      EXPECT_EQ(picture.pixels[at], input.pixels[at]);
      if (border) {
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(picture.pixels[at + c], input.pixels[at + c]);
      }
    }
  }
}

TEST(Filters, PicturesWithoutAnInteriorAreLeftAlone) {
  for (const auto& [w, h] : {std::pair{2, 9}, std::pair{9, 2}, std::pair{1, 1}, std::pair{2, 2}}) {
    const Picture input = noise(w, h, 4);
    Picture picture = input;
    GlitchSettings settings = picture.settings(1.0f, 1.0f);
    settings.apply_filter1();
    settings.apply_filter2();
    EXPECT_EQ(picture.pixels, input.pixels) << w << "x" << h;
  }
  GlitchSettings no_pixels;
  no_pixels.width = 64;
  no_pixels.height = 64;
  no_pixels.apply_filter1();
  no_pixels.apply_filter2();
}

TEST(Filter1, SnapshotThatCannotBeAllocatedChangesNothing) {
  Picture picture = noise(4, 4, 6);
  const Bytes before = picture.pixels;
  for (const std::int32_t side : {1'500'000'000, std::numeric_limits<std::int32_t>::max()}) {
    GlitchSettings settings = picture.settings(1.0f, 0.0f);
    settings.width = side;
    settings.height = side;
    EXPECT_NO_THROW(settings.apply_filter1());
    EXPECT_EQ(picture.pixels, before);
  }
}

}  // namespace
}  // namespace shardcast
