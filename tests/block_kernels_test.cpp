// The block kernels' SSE2 and AVX2 forms against their scalar forms, which
// are the reconstruction stages' own code: every entry must be the same
// int32, for inputs that reach the edges (coefficients whose transform
// leaves the float or int32 range, products that wrap, samples at and past
// the clamps, every sampling of an MCU, rows that end inside a block). Each
// level the processor has is forced in turn.
#include "decoder/block_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "decoder/reconstruction.h"

namespace shardcast {
namespace {

using Block = std::array<std::int32_t, 64>;

constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

std::vector<SimdLevel> vector_levels() {
  std::vector<SimdLevel> levels;
  for (const SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2}) {
    if (simd_level_available(level)) {
      levels.push_back(level);
    }
  }
  return levels;
}

// Blocks of one kind of content, drawn from a seeded engine.
struct BlockKind {
  const char* name;
  std::int32_t low;
  std::int32_t high;
  int non_zero;  // entries drawn; the rest stay 0
};

const BlockKind block_kinds[] = {
    {"quantised coefficients", -1024, 1023, 20},
    {"dense small values", -64, 63, 64},
    {"samples around the clamps", -300, 300, 64},
    {"large values whose sums leave the int32 range", -int_max, int_max, 64},
    {"extremes only", int_min, int_min, 64},
    {"a lone extreme", int_max, int_max, 1},
};

Block random_block(const BlockKind& kind, std::mt19937& engine) {
  Block block{};
  std::uniform_int_distribution<std::int64_t> value(kind.low, kind.high);
  std::uniform_int_distribution<int> position(0, 63);
  for (int n = 0; n < kind.non_zero; ++n) {
    block[static_cast<std::size_t>(kind.non_zero == 64 ? n : position(engine))] =
        static_cast<std::int32_t>(value(engine));
  }
  return block;
}

std::array<std::uint32_t, 64> random_table(std::mt19937& engine, std::uint32_t high) {
  std::array<std::uint32_t, 64> table{};
  std::uniform_int_distribution<std::uint32_t> value(0, high);
  for (std::uint32_t& entry : table) {
    entry = value(engine);
  }
  return table;
}

TEST(BlockKernels, DequantisationAndInverseDctMatchTheScalarFormOnEveryLevel) {
  std::mt19937 engine(7);
  for (const BlockKind& kind : block_kinds) {
    for (int trial = 0; trial < 200; ++trial) {
      const Block block = random_block(kind, engine);
      // Table values from the parameters' range, and any 32-bit value, so
      // that the products wrap.
      const auto table = random_table(engine, trial % 2 == 0 ? 255u : 0xFFFFFFFFu);
      for (const bool dequantise : {false, true}) {
        for (const bool transform : {false, true}) {
          Block expected = block;
          dequantize_and_transform(SimdLevel::scalar, expected.data(), dequantise ? table.data() : nullptr, transform);
          for (const SimdLevel level : vector_levels()) {
            Block actual = block;
            dequantize_and_transform(level, actual.data(), dequantise ? table.data() : nullptr, transform);
            ASSERT_EQ(actual, expected) << kind.name << ", trial " << trial << ", " << simd_level_name(level)
                                        << (dequantise ? ", dequantised" : "") << (transform ? ", transformed" : "");
          }
        }
      }
    }
  }
}

TEST(BlockKernels, TheScalarFormIsTheReconstructionStages) {
  std::mt19937 engine(11);
  for (const BlockKind& kind : block_kinds) {
    const Block block = random_block(kind, engine);
    const auto table = random_table(engine, 0xFFFFFFFFu);
    Block expected = block;
    for (std::size_t j = 0; j < 64; ++j) {
      expected[j] = static_cast<std::int32_t>(static_cast<std::uint32_t>(expected[j]) * table[j]);
    }
    inverse_dct_8x8(expected.data());
    Block actual = block;
    dequantize_and_transform(SimdLevel::scalar, actual.data(), table.data(), true);
    EXPECT_EQ(actual, expected) << kind.name;
  }
}

TEST(BlockKernels, KnownTransformsComeOutOnEveryLevel) {
  struct Case {
    std::int32_t dc;
    std::int32_t expected;
  };
  for (const Case& c : {Case{80, 9}, Case{-1016, -126}}) {
    for (const SimdLevel level : all_simd_levels) {
      if (!simd_level_available(level)) {
        continue;
      }
      Block block{};
      block[0] = c.dc;
      dequantize_and_transform(level, block.data(), nullptr, true);
      for (const std::int32_t entry : block) {
        ASSERT_EQ(entry, c.expected) << simd_level_name(level);
      }
    }
  }
}

// An MCU of mcu_v x mcu_h cells in a row of `stride` cells, content drawn
// from the kind's range in all three planes.
std::vector<BlockCell> random_mcu(const BlockKind& kind, std::size_t cells, std::mt19937& engine) {
  std::vector<BlockCell> mcu(cells);
  for (BlockCell& cell : mcu) {
    for (auto& plane : cell.plane) {
      const Block block = random_block(kind, engine);
      std::copy(block.begin(), block.end(), plane);
    }
  }
  return mcu;
}

bool same_cells(const std::vector<BlockCell>& a, const std::vector<BlockCell>& b) {
  for (std::size_t n = 0; n < a.size(); ++n) {
    for (int p = 0; p < 3; ++p) {
      for (int j = 0; j < 64; ++j) {
        if (a[n].plane[p][j] != b[n].plane[p][j]) {
          return false;
        }
      }
    }
  }
  return true;
}

TEST(BlockKernels, ColourConversionMatchesTheScalarFormForEverySampling) {
  struct Sampling {
    std::uint32_t h;
    std::uint32_t v;
  };
  std::mt19937 engine(13);
  for (const Sampling sampling : {Sampling{1, 1}, Sampling{2, 1}, Sampling{1, 2}, Sampling{2, 2}}) {
    // The MCU sits in a row three cells wide, so the stride differs from
    // the MCU's width.
    const std::size_t stride = 3;
    for (const BlockKind& kind : block_kinds) {
      for (int trial = 0; trial < 50; ++trial) {
        const std::vector<BlockCell> cells = random_mcu(kind, stride * sampling.v, engine);
        std::vector<BlockCell> expected = cells;
        convert_mcu(SimdLevel::scalar, expected.data(), stride, sampling.h, sampling.v);
        for (const SimdLevel level : vector_levels()) {
          std::vector<BlockCell> actual = cells;
          convert_mcu(level, actual.data(), stride, sampling.h, sampling.v);
          ASSERT_TRUE(same_cells(actual, expected))
              << kind.name << ", " << sampling.h << "x" << sampling.v << ", " << simd_level_name(level);
        }
      }
    }
  }
}

TEST(BlockKernels, ColourConversionClampsOnEveryLevel) {
  struct Case {
    std::int32_t y;
    std::int32_t expected;  // zero chroma: R = G = B
  };
  // INT32_MAX + 128 is too large for an int32 and truncates to INT32_MIN,
  // which clamps to 0.
  const Case cases[] = {{127, 255}, {128, 255}, {-128, 0}, {-129, 0}, {0, 128}, {int_max, 0}, {int_min, 0}};
  for (const SimdLevel level : all_simd_levels) {
    if (!simd_level_available(level)) {
      continue;
    }
    for (const Case& c : cases) {
      BlockCell cell{};
      std::fill(std::begin(cell.plane[0]), std::end(cell.plane[0]), c.y);
      convert_mcu(level, &cell, 1, 1, 1);
      for (int p = 0; p < 3; ++p) {
        ASSERT_EQ(cell.plane[p][37], c.expected) << "Y " << c.y << ", " << simd_level_name(level);
      }
    }
  }
}

TEST(BlockKernels, PixelRowsMatchTheScalarFormForEveryWidth) {
  std::mt19937 engine(17);
  const BlockKind kind{"any value", int_min, int_max, 64};
  std::vector<BlockCell> cells = random_mcu(kind, 5, engine);
  for (std::uint32_t columns = 0; columns <= 40; ++columns) {
    for (std::uint32_t row = 0; row < 8; ++row) {
      std::vector<std::uint8_t> expected(40 * 4);
      for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<std::uint8_t>(engine());
      }
      const std::vector<std::uint8_t> before = expected;
      write_pixel_row(SimdLevel::scalar, cells.data(), row, columns, expected.data());
      for (std::size_t i = 0; i < expected.size(); ++i) {
        // Alpha and everything past the row's end stay as they were.
        if (i % 4 == 0 || i >= columns * 4) {
          ASSERT_EQ(expected[i], before[i]) << "byte " << i;
        }
      }
      for (const SimdLevel level : vector_levels()) {
        std::vector<std::uint8_t> actual = before;
        write_pixel_row(level, cells.data(), row, columns, actual.data());
        ASSERT_EQ(actual, expected) << columns << " columns, row " << row << ", " << simd_level_name(level);
      }
    }
  }
}

}  // namespace
}  // namespace shardcast
