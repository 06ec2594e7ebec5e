// The filters' SSE2 and AVX2 forms against the straightforward ones, byte
// for byte, with each level forced: weights that give exact halves (filter
// 2's rounding), sums past 255 and below 0, NaN and infinite weights whose
// products are NaN, sums beyond the int32 range, and picture sizes around
// the vector widths and the wavefront's height.
#include "pipeline/filter_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "decoder/decoder.h"

namespace shardcast {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

const float weights[] = {0.0f,  1.0f,   -0.1f, 2.37f, -10.0f,   10.0f,     0.125f, 0.25f,
                         -0.5f, 1e-30f, 1e30f, nan,   infinity, -infinity, 3.0e9f, -0.0f};

struct Size {
  std::int32_t width;
  std::int32_t height;
};

const Size sizes[] = {{2, 5}, {5, 2}, {3, 3}, {4, 4}, {6, 7}, {9, 10}, {10, 9}, {12, 11}, {17, 9}, {33, 20}, {64, 48}};

std::vector<std::uint8_t> random_picture(Size size, std::mt19937& engine, bool flat) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4);
  const auto value = static_cast<std::uint8_t>(engine());
  for (std::uint8_t& byte : pixels) {
    byte = flat ? value : static_cast<std::uint8_t>(engine());
  }
  return pixels;
}

using Filter = void (*)(std::uint8_t*, std::int32_t, std::int32_t, float);
using FastFilter = void (*)(SimdLevel, std::uint8_t*, std::int32_t, std::int32_t, float);

struct FilterPair {
  const char* name;
  Filter reference;
  FastFilter fast;
};

const FilterPair filters[] = {{"filter 1", filter1_reference, filter1_fast},
                              {"filter 2", filter2_reference, filter2_fast}};

TEST(FilterKernels, EveryLevelMatchesTheReferenceByteForByte) {
  std::mt19937 engine(3);
  for (const FilterPair& filter : filters) {
    for (const Size size : sizes) {
      for (const float weight : weights) {
        for (const bool flat : {false, true}) {
          const std::vector<std::uint8_t> picture = random_picture(size, engine, flat);
          std::vector<std::uint8_t> expected = picture;
          filter.reference(expected.data(), size.width, size.height, weight);
          for (const SimdLevel level : all_simd_levels) {
            if (!simd_level_available(level)) {
              continue;
            }
            std::vector<std::uint8_t> actual = picture;
            filter.fast(level, actual.data(), size.width, size.height, weight);
            ASSERT_EQ(actual, expected) << filter.name << ", " << size.width << "x" << size.height << ", weight "
                                        << weight << (flat ? ", flat" : "") << ", " << simd_level_name(level);
          }
        }
      }
    }
  }
}

TEST(FilterKernels, AWholeFrameMatchesTheReference) {
  std::mt19937 engine(5);
  const Size size{1920 / 4 + 16, 67};
  const std::vector<std::uint8_t> picture = random_picture(size, engine, false);
  for (const FilterPair& filter : filters) {
    std::vector<std::uint8_t> expected = picture;
    filter.reference(expected.data(), size.width, size.height, -0.1f);
    for (const SimdLevel level : all_simd_levels) {
      if (!simd_level_available(level)) {
        continue;
      }
      std::vector<std::uint8_t> actual = picture;
      filter.fast(level, actual.data(), size.width, size.height, -0.1f);
      EXPECT_EQ(actual, expected) << filter.name << ", " << simd_level_name(level);
    }
  }
}

TEST(FilterKernels, NothingHappensWithoutPixels) {
  for (const FilterPair& filter : filters) {
    for (const SimdLevel level : all_simd_levels) {
      filter.fast(level, nullptr, 64, 64, 1.0f);  // must not touch anything
    }
  }
}

}  // namespace
}  // namespace shardcast
