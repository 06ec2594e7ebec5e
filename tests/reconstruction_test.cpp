#include "decoder/reconstruction.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/numeric.h"

namespace shardcast {
namespace {

// A frame of block_rows x block_cols luma blocks, luma sampled h x v and
// chroma 1x1, luma on table 0 and chroma on table 1.
struct FrameFixture {
  DecoderState state;
  std::vector<BlockCell> cells;

  FrameFixture(std::uint32_t block_rows, std::uint32_t block_cols, std::uint8_t h, std::uint8_t v,
               std::uint8_t components = 3) {
    state.frame_marker = 0xC0;
    state.component_count = components;
    state.block_rows = block_rows;
    state.block_cols = block_cols;
    state.padded_block_rows = block_rows + (v == 2 && block_rows % 2 == 1 ? 1 : 0);
    state.padded_block_cols = block_cols + (h == 2 && block_cols % 2 == 1 ? 1 : 0);
    state.mcu_h_blocks = h;
    state.mcu_v_blocks = v;
    for (int i = 0; i < components; ++i) {
      state.components[i].h_factor = i == 0 ? h : 1;
      state.components[i].v_factor = i == 0 ? v : 1;
      state.components[i].quant_id = i == 0 ? 0 : 1;
      state.components[i].in_frame = true;
    }
    cells.resize(state.padded_block_rows * state.padded_block_cols);
    state.coefficients = cells.data();
  }

  void fill(std::int32_t value) {
    for (BlockCell& cell : cells) {
      for (auto& plane : cell.plane) {
        std::fill(std::begin(plane), std::end(plane), value);
      }
    }
  }

  std::int32_t* plane(std::uint32_t row, std::uint32_t col, int index) { return state.cell(row, col).plane[index]; }
};

struct TamperFixture {
  DecoderState state;
  TableTampering qtl;
  TableTampering qtc;
  std::mt19937 qtl_rng{11u};
  std::mt19937 qtc_rng{22u};

  TamperFixture() {
    for (QuantTable& table : state.quant_tables) {
      table.values.fill(1);
      table.defined = true;
    }
  }
  void tamper() { tamper_quant_tables(state, qtl, qtl_rng, qtc, qtc_rng); }
  const std::array<std::uint32_t, 64>& luma() const { return state.quant_tables[0].values; }
  const std::array<std::uint32_t, 64>& chroma() const { return state.quant_tables[1].values; }
};

TEST(TamperQuantTables, FixedPositionsCountFromOneInNaturalOrder) {
  TamperFixture fixture;
  fixture.qtl.enabled = true;
  fixture.qtl.position = 1;
  fixture.qtl.value = 0;
  fixture.qtc.enabled = true;
  fixture.qtc.position = 64;
  fixture.qtc.value = 99;
  fixture.tamper();
  EXPECT_EQ(fixture.luma()[0], 0u);
  EXPECT_EQ(fixture.chroma()[63], 99u);
  EXPECT_EQ(std::count(fixture.luma().begin(), fixture.luma().end(), 1u), 63);
  EXPECT_EQ(std::count(fixture.chroma().begin(), fixture.chroma().end(), 1u), 63);

  TamperFixture same;
  same.qtl.enabled = same.qtc.enabled = true;
  same.qtl.position = same.qtc.position = 5;
  same.qtl.value = same.qtc.value = 7;
  same.tamper();
  EXPECT_EQ(same.luma()[4], 7u);  // row 0, column 4 in both
  EXPECT_EQ(same.chroma()[4], 7u);
}

TEST(TamperQuantTables, PositionsOutsideTheTableWriteNothing) {
  for (std::int32_t position : {0, 65, -1, INT32_MIN}) {
    TamperFixture fixture;
    fixture.qtl.enabled = fixture.qtc.enabled = true;
    fixture.qtl.position = fixture.qtc.position = position;
    fixture.qtl.value = fixture.qtc.value = 50;
    fixture.tamper();
    EXPECT_EQ(std::count(fixture.luma().begin(), fixture.luma().end(), 1u), 64) << position;
    EXPECT_EQ(std::count(fixture.chroma().begin(), fixture.chroma().end(), 1u), 64) << position;
  }
}

TEST(TamperQuantTables, RandomEntriesWithoutMaximumTakeOnlyTheIndexDraw) {
  TamperFixture fixture;
  fixture.qtl.break_count = 3;
  fixture.qtl.max_random = 0;
  std::mt19937 expected = fixture.qtl_rng;
  fixture.tamper();
  std::array<std::uint32_t, 64> table;
  table.fill(1);
  for (int n = 0; n < 3; ++n) {
    table[static_cast<std::uint32_t>(expected()) >> 26] = 0;
  }
  EXPECT_EQ(fixture.luma(), table);
  EXPECT_EQ(fixture.qtl_rng, expected);
}

TEST(TamperQuantTables, RandomEntriesDrawValueBeforeIndex) {
  TamperFixture fixture;
  fixture.qtc.break_count = 3;
  fixture.qtc.max_random = 10;
  std::mt19937 expected = fixture.qtc_rng;
  const std::mt19937 luma_engine = fixture.qtl_rng;
  fixture.tamper();
  std::array<std::uint32_t, 64> table;
  table.fill(1);
  for (int n = 0; n < 3; ++n) {
    const std::uint32_t value = static_cast<std::uint32_t>(expected()) % 10u;
    table[static_cast<std::uint32_t>(expected()) >> 26] = value;
  }
  EXPECT_EQ(fixture.chroma(), table);
  EXPECT_EQ(fixture.qtc_rng, expected);  // six outputs
  EXPECT_EQ(fixture.qtl_rng, luma_engine);
}

TEST(TamperQuantTables, UndefinedChromaTableIsLeftAloneButLumaIsAlwaysRandomised) {
  TamperFixture fixture;
  fixture.state.quant_tables[0].defined = false;
  fixture.state.quant_tables[1].defined = false;
  fixture.qtl.enabled = fixture.qtc.enabled = true;
  fixture.qtl.position = fixture.qtc.position = 2;
  fixture.qtl.value = fixture.qtc.value = 40;
  fixture.qtl.break_count = fixture.qtc.break_count = 64;
  fixture.qtl.max_random = fixture.qtc.max_random = 0;
  const std::mt19937 chroma_engine = fixture.qtc_rng;
  fixture.tamper();
  EXPECT_EQ(std::count(fixture.luma().begin(), fixture.luma().end(), 40u), 0);  // no fixed entry
  EXPECT_GT(std::count(fixture.luma().begin(), fixture.luma().end(), 0u), 0);
  EXPECT_EQ(std::count(fixture.chroma().begin(), fixture.chroma().end(), 1u), 64);
  EXPECT_EQ(fixture.qtc_rng, chroma_engine);
  EXPECT_EQ(fixture.state.quant_tables[2].values, fixture.state.quant_tables[3].values);
}

TEST(Dequantize, EachComponentUsesItsTableOnItsOwnBlocksOnly) {
  FrameFixture frame(2, 3, 2, 1);  // 4:2:2, one padding column
  frame.fill(1);
  frame.state.quant_tables[0].values.fill(2);
  frame.state.quant_tables[1].values.fill(3);
  frame.state.quant_tables[1].values[63] = 0x80000001u;
  dequantize_blocks(frame.state);
  for (std::uint32_t row = 0; row < 2; ++row) {
    for (std::uint32_t col = 0; col < 4; ++col) {
      const bool origin = col % 2 == 0;
      EXPECT_EQ(frame.plane(row, col, 0)[5], 2);
      EXPECT_EQ(frame.plane(row, col, 1)[5], origin ? 3 : 1) << row << ',' << col;
      EXPECT_EQ(frame.plane(row, col, 2)[63], origin ? INT32_MIN + 1 : 1) << row << ',' << col;
    }
  }
}

TEST(Dequantize, ProductsKeepTheirLow32Bits) {
  FrameFixture frame(1, 1, 1, 1, 1);
  std::int32_t* block = frame.plane(0, 0, 0);
  block[0] = 0x10000;
  block[1] = -3;
  block[2] = INT32_MIN;
  frame.state.quant_tables[0].values.fill(0x10000);
  frame.state.quant_tables[0].values[1] = 0xFFFFFFFFu;
  frame.state.quant_tables[0].values[2] = 3;
  dequantize_blocks(frame.state);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 3);
  EXPECT_EQ(block[2], INT32_MIN);
}

TEST(InverseDct, ConstantsAreRoundedOnceFromDouble) {
  const IdctConstants& c = idct_constants();
  EXPECT_EQ(c.scale[0], static_cast<float>(1.0 / std::sqrt(8.0)));
  for (int k = 1; k < 8; ++k) {
    EXPECT_EQ(c.scale[k], static_cast<float>(0.5 * std::cos(k * std::numbers::pi / 16))) << k;
  }
  const float c2 = static_cast<float>(2 * std::cos(std::numbers::pi / 8));
  const float c6 = static_cast<float>(2 * std::cos(3 * std::numbers::pi / 8));
  EXPECT_EQ(c.k_sqrt2, static_cast<float>(2 * std::cos(std::numbers::pi / 4)));
  EXPECT_EQ(c.k_c2, c2);
  EXPECT_EQ(c.k_c6, c6);
  // The sums come from the rounded floats: rounding the exact sum instead
  // gives 2.61312604 here, one unit in the last place away.
  EXPECT_EQ(c.k_minus, c2 - c6);
  EXPECT_EQ(c.k_plus, c6 + c2);
  EXPECT_NE(c.k_plus, static_cast<float>(2 * std::cos(std::numbers::pi / 8) + 2 * std::cos(3 * std::numbers::pi / 8)));
}

TEST(InverseDct, DcOnlyBlocksTruncateAfterEachPass) {
  std::int32_t block[64] = {80};
  inverse_dct_8x8(block);
  for (std::int32_t sample : block) {
    EXPECT_EQ(sample, 9);
  }
  std::int32_t negative[64] = {-1016};
  inverse_dct_8x8(negative);
  for (std::int32_t sample : negative) {
    EXPECT_EQ(sample, -126);
  }
  std::int32_t zero[64] = {};
  inverse_dct_8x8(zero);
  for (std::int32_t sample : zero) {
    EXPECT_EQ(sample, 0);
  }
}

// The two truncated passes stay within a few units of the exact
// orthonormal transform, which a misplaced output or constant would not.
TEST(InverseDct, FollowsTheOrthonormalTransform) {
  std::mt19937 engine(3);
  std::uniform_int_distribution<int> coefficient(-300, 300);
  for (int trial = 0; trial < 50; ++trial) {
    std::int32_t block[64];
    for (std::int32_t& value : block) {
      value = coefficient(engine);
    }
    std::int32_t transformed[64];
    std::copy(std::begin(block), std::end(block), transformed);
    inverse_dct_8x8(transformed);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        double sum = 0;
        for (int v = 0; v < 8; ++v) {
          for (int u = 0; u < 8; ++u) {
            const double cu = u == 0 ? std::numbers::sqrt2 / 2 : 1.0;
            const double cv = v == 0 ? std::numbers::sqrt2 / 2 : 1.0;
            sum += cu * cv * block[v * 8 + u] * std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                   std::cos((2 * y + 1) * v * std::numbers::pi / 16);
          }
        }
        EXPECT_NEAR(transformed[y * 8 + x], sum / 4, 4.0) << trial << ' ' << y << ',' << x;
      }
    }
  }
}

TEST(InverseDct, OverflowingColumnResultsBecomeTheMostNegativeInt32) {
  // A column of INT32_MAX sums to about 2.6 x 2^31 in entry 0, which the
  // column pass stores as INT32_MIN; the row pass then scales that down.
  std::int32_t block[64] = {};
  for (int row = 0; row < 8; ++row) {
    block[row * 8] = INT32_MAX;
  }
  inverse_dct_8x8(block);
  const float dc_scale = static_cast<float>(1.0 / std::sqrt(8.0));
  EXPECT_EQ(block[0], truncate_to_int32(static_cast<float>(INT32_MIN) * dc_scale));
  EXPECT_LT(block[0], -700000000);
}

TEST(InverseDct, BlocksPassVisitsEveryMcuBlockOnce) {
  FrameFixture frame(3, 3, 2, 2);  // 4:2:0 with odd counts in both directions
  for (BlockCell& cell : frame.cells) {
    cell.plane[0][0] = cell.plane[1][0] = cell.plane[2][0] = 80;
  }
  inverse_dct_blocks(frame.state);
  for (std::uint32_t row = 0; row < 4; ++row) {
    for (std::uint32_t col = 0; col < 4; ++col) {
      const bool origin = row % 2 == 0 && col % 2 == 0;
      EXPECT_EQ(frame.plane(row, col, 0)[63], 9);
      EXPECT_EQ(frame.plane(row, col, 1)[63], origin ? 9 : 0);
      EXPECT_EQ(frame.plane(row, col, 2)[0], origin ? 9 : 80);
    }
  }
}

TEST(ConvertYcbcr, LumaAloneIsShiftedAndClamped) {
  FrameFixture frame(1, 1, 1, 1);
  std::int32_t* y = frame.plane(0, 0, 0);
  y[0] = 0;
  y[1] = 127;
  y[2] = 128;
  y[3] = -129;
  y[4] = -128;
  y[5] = INT32_MAX;   // too large for an int32 after the shift: 0
  y[6] = 2147483520;  // the largest float below 2^31, plus 128, is 2^31: 0
  y[7] = INT32_MIN;
  convert_ycbcr_blocks(frame.state);
  const std::int32_t expected[8] = {128, 255, 255, 0, 0, 0, 0, 0};
  for (int j = 0; j < 8; ++j) {
    for (int p = 0; p < 3; ++p) {
      EXPECT_EQ(frame.plane(0, 0, p)[j], expected[j]) << j << ' ' << p;
    }
  }
  for (int j = 8; j < 64; ++j) {
    EXPECT_EQ(frame.plane(0, 0, 1)[j], 128);
  }
}

TEST(ConvertYcbcr, ChromaWeightsInSinglePrecision) {
  FrameFixture frame(1, 1, 1, 1);
  frame.plane(0, 0, 1)[0] = 10;
  frame.plane(0, 0, 2)[0] = 20;
  frame.plane(0, 0, 1)[1] = -100;
  frame.plane(0, 0, 2)[1] = 100;
  frame.plane(0, 0, 0)[1] = 50;
  convert_ycbcr_blocks(frame.state);
  EXPECT_EQ(frame.plane(0, 0, 0)[0], 156);  // 20 * 1.402 + 128
  EXPECT_EQ(frame.plane(0, 0, 1)[0], 110);  // 128 - 3.44 - 14.28
  EXPECT_EQ(frame.plane(0, 0, 2)[0], 145);  // 10 * 1.772 + 128
  EXPECT_EQ(frame.plane(0, 0, 0)[1], 255);
  EXPECT_EQ(frame.plane(0, 0, 1)[1], 141);  // 50 + 34.4 - 71.4 + 128
  EXPECT_EQ(frame.plane(0, 0, 2)[1], 0);
}

// Green values whose truncation gives away double precision (133) or the
// level shift applied first (118).
TEST(ConvertYcbcr, GreenIsSinglePrecisionInItsOwnGrouping) {
  FrameFixture frame(1, 1, 1, 1);
  frame.plane(0, 0, 1)[0] = -582;
  frame.plane(0, 0, 2)[0] = 272;
  frame.plane(0, 0, 0)[9] = 52;
  frame.plane(0, 0, 1)[9] = -985;
  frame.plane(0, 0, 2)[9] = 560;
  convert_ycbcr_blocks(frame.state);
  EXPECT_EQ(frame.plane(0, 0, 1)[0], 134);
  EXPECT_EQ(frame.plane(0, 0, 1)[9], 119);
}

// Every cell of an MCU reads chroma from the MCU's origin, scaled down by
// the sampling: with 2x1, column o of the right-hand cell reads column
// 4 + o / 2. The origin is converted last, so nobody reads converted chroma.
TEST(ConvertYcbcr, SubsampledCellsReadTheOriginsChromaInPlace) {
  for (auto [h, v] : {std::pair{2, 1}, {1, 2}, {2, 2}}) {
    FrameFixture frame(2, 2, static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(v));
    for (int j = 0; j < 64; ++j) {
      frame.plane(0, 0, 1)[j] = j;  // Cb = its own index
    }
    convert_ycbcr_blocks(frame.state);
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(v); ++i) {
      for (std::uint32_t k = 0; k < static_cast<std::uint32_t>(h); ++k) {
        for (int n = 0; n < 8; ++n) {
          for (int o = 0; o < 8; ++o) {
            const int cb = ((8 * static_cast<int>(i) + n) / v) * 8 + (8 * static_cast<int>(k) + o) / h;
            const std::int32_t blue = static_cast<std::int32_t>(static_cast<float>(cb) * 1.772f + 128.0f);
            EXPECT_EQ(frame.plane(i, k, 2)[n * 8 + o], blue) << h << 'x' << v << ' ' << i << k << n << o;
          }
        }
      }
    }
  }
  FrameFixture wide(1, 2, 2, 1);
  for (int j = 0; j < 64; ++j) {
    wide.plane(0, 0, 1)[j] = j;
  }
  convert_ycbcr_blocks(wide.state);
  EXPECT_EQ(wide.plane(0, 1, 2)[0], static_cast<std::int32_t>(4 * 1.772f + 128.0f));
  EXPECT_EQ(wide.plane(0, 1, 2)[7], static_cast<std::int32_t>(7 * 1.772f + 128.0f));
  EXPECT_EQ(wide.plane(0, 1, 2)[15], static_cast<std::int32_t>(15 * 1.772f + 128.0f));
}

TEST(ConvertYcbcr, GreyscaleFramesConvertEveryCellToGrey) {
  FrameFixture frame(1, 3, 2, 1, 1);
  for (BlockCell& cell : frame.cells) {
    std::fill(std::begin(cell.plane[0]), std::end(cell.plane[0]), -28);
  }
  convert_ycbcr_blocks(frame.state);
  for (BlockCell& cell : frame.cells) {
    for (auto& plane : cell.plane) {
      for (std::int32_t value : plane) {
        EXPECT_EQ(value, 100);
      }
    }
  }
}

TEST(Stages, AllZeroCellWithEveryStageOnBecomesMidGrey) {
  FrameFixture frame(1, 2, 2, 1);
  frame.state.quant_tables[0].values.fill(5);
  frame.state.quant_tables[1].values.fill(5);
  dequantize_blocks(frame.state);
  inverse_dct_blocks(frame.state);
  convert_ycbcr_blocks(frame.state);
  for (BlockCell& cell : frame.cells) {
    for (auto& plane : cell.plane) {
      for (std::int32_t value : plane) {
        EXPECT_EQ(value, 128);
      }
    }
  }
}

}  // namespace
}  // namespace shardcast
