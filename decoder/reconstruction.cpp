// Quantisation-table tampering and the three switchable reconstruction
// stages: dequantisation, inverse DCT and YCbCr-to-RGB conversion.
//
// Every stage works in place on the coefficient storage and is exact to the
// bit: single-precision arithmetic grouped as written, truncation toward
// zero through truncate_to_int32, wrapping products. Nothing is clamped
// except by the colour conversion, so a stage that is left out shows the
// previous stage's numbers as colours. A fixed table position outside 1-64
// is ignored rather than written past the table. None of the steps can fail
// or allocates.
#include "decoder/reconstruction.h"

#include <cmath>
#include <cstddef>
#include <numbers>

#include "decoder/numeric.h"
#include "decoder/random_draw.h"

namespace shardcast {
namespace {

void set_fixed_entry(QuantTable& table, std::int32_t position, std::int32_t value) {
  if (!table.defined || position < 1 || position > 64) {
    return;
  }
  table.values[static_cast<std::size_t>(position - 1)] = static_cast<std::uint32_t>(value);
}

// Each entry draws its value first (only when there is a maximum) and its
// index second, from the table's own engine.
void set_random_entries(QuantTable& table, std::int32_t count, std::int32_t max_random, std::mt19937& rng) {
  for (std::int32_t n = 0; n < count; ++n) {
    std::uint32_t value = 0;
    if (max_random != 0) {
      value = static_cast<std::uint32_t>(rng()) % static_cast<std::uint32_t>(max_random);
    }
    const std::int32_t index = random_in_range(table_index_range, rng);
    table.values[static_cast<std::size_t>(index)] = value;
  }
}

// Calls visit(plane, component index) for every block of every MCU that
// the interleaved scan fills.
template <typename Visit>
void for_each_mcu_block(DecoderState& state, Visit visit) {
  if (state.coefficients == nullptr || state.mcu_v_blocks == 0 || state.mcu_h_blocks == 0) {
    return;
  }
  for (std::uint32_t mcu_row = 0; mcu_row < state.block_rows; mcu_row += state.mcu_v_blocks) {
    for (std::uint32_t mcu_col = 0; mcu_col < state.block_cols; mcu_col += state.mcu_h_blocks) {
      for_each_block_of_mcu(state, mcu_row, mcu_col, [&](std::uint32_t row, std::uint32_t col, std::uint32_t i) {
        visit(state.cell(row, col).plane[i], i);
      });
    }
  }
}

// One eight-point pass over x[0], x[stride], ... x[7 * stride], results
// truncated back into the same entries.
void idct_pass(std::int32_t* x, int stride, const IdctConstants& c) {
  float z[8];
  for (int k = 0; k < 8; ++k) {
    z[k] = static_cast<float>(x[k * stride]) * c.scale[k];
  }
  const float p = z[0] + z[4];
  const float q = z[0] - z[4];
  const float e = z[2] + z[6];
  const float o = (z[2] - z[6]) * c.k_sqrt2 - e;
  const float s = p + e;
  const float t = p - e;

  const float a = z[1] + z[7];
  const float b = z[1] - z[7];
  const float g = z[5] - z[3];
  const float h = z[3] + z[5];
  const float v = h + a;
  const float r = (b + g) * c.k_c6;
  const float d = b * c.k_plus - r;
  const float f = ((a - h) * c.k_sqrt2 + v) - d;
  const float m = (g * c.k_minus + r) - f;

  x[0 * stride] = truncate_to_int32(s + v);
  x[1 * stride] = truncate_to_int32((d - v) + (o + q));
  x[2 * stride] = truncate_to_int32((q - o) + f);
  x[3 * stride] = truncate_to_int32(m + t);
  x[4 * stride] = truncate_to_int32(t - m);
  x[5 * stride] = truncate_to_int32((q - o) - f);
  x[6 * stride] = truncate_to_int32((o + q) - (d - v));
  x[7 * stride] = truncate_to_int32(s - v);
}

void idct_block(std::int32_t* block, const IdctConstants& c) {
  for (int column = 0; column < 8; ++column) {
    idct_pass(block + column, 8, c);
  }
  for (int row = 0; row < 8; ++row) {
    idct_pass(block + row * 8, 1, c);
  }
}

// Below 0, and INT32_MIN from a value too large to convert, give 0.
std::int32_t clamp_sample(float value) {
  const std::int32_t sample = truncate_to_int32(value);
  if (sample < 0) {
    return 0;
  }
  return sample > 255 ? 255 : sample;
}

// The cosines and quotients are formed in double and each rounded once to
// float; the two sums are then formed from those floats in single precision.
IdctConstants make_idct_constants() {
  constexpr double pi = std::numbers::pi;
  IdctConstants c{};
  c.scale[0] = static_cast<float>(std::cos(0.0) / std::sqrt(8.0));
  for (int k = 1; k < 8; ++k) {
    c.scale[k] = static_cast<float>(0.5 * std::cos(k * pi / 16.0));
  }
  c.k_sqrt2 = static_cast<float>(2.0 * std::cos(pi / 4.0));
  c.k_c2 = static_cast<float>(2.0 * std::cos(pi / 8.0));
  c.k_c6 = static_cast<float>(2.0 * std::cos(3.0 * pi / 8.0));
  c.k_minus = c.k_c2 - c.k_c6;
  c.k_plus = c.k_c6 + c.k_c2;
  return c;
}

}  // namespace

const IdctConstants& idct_constants() {
  static const IdctConstants constants = make_idct_constants();
  return constants;
}

void tamper_quant_tables(DecoderState& state, const TableTampering& luma, std::mt19937& luma_rng,
                         const TableTampering& chroma, std::mt19937& chroma_rng) {
  QuantTable& luma_table = state.quant_tables[0];
  QuantTable& chroma_table = state.quant_tables[1];
  if (luma.enabled) {
    set_fixed_entry(luma_table, luma.position, luma.value);
  }
  // The luma table's random entries are written whether or not a DQT
  // defined it; the chroma table's only when one did.
  set_random_entries(luma_table, luma.break_count, luma.max_random, luma_rng);
  if (chroma.enabled) {
    set_fixed_entry(chroma_table, chroma.position, chroma.value);
  }
  if (chroma_table.defined) {
    set_random_entries(chroma_table, chroma.break_count, chroma.max_random, chroma_rng);
  }
}

void dequantize_block(std::int32_t* block, const std::uint32_t* quant_values) {
  for (int j = 0; j < 64; ++j) {
    block[j] = wrapping_mul(block[j], quant_values[j]);
  }
}

void dequantize_blocks(DecoderState& state) {
  for_each_mcu_block(state, [&state](std::int32_t* block, std::uint32_t component) {
    dequantize_block(block, state.quant_tables[state.components[component].quant_id & 3].values.data());
  });
}

void inverse_dct_8x8(std::int32_t* block) { idct_block(block, idct_constants()); }

void inverse_dct_blocks(DecoderState& state) {
  const IdctConstants& constants = idct_constants();
  for_each_mcu_block(state, [&constants](std::int32_t* block, std::uint32_t) { idct_block(block, constants); });
}

void convert_ycbcr_mcu(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v) {
  // Backwards, so that the origin cell, whose chroma the whole MCU reads, is
  // converted last, and within it each entry reads chroma at or before its
  // own index, which is still unconverted.
  for (std::uint32_t i = mcu_v; i-- > 0;) {
    for (std::uint32_t k = mcu_h; k-- > 0;) {
      BlockCell& cell = origin[i * stride + k];
      for (std::uint32_t n = 8; n-- > 0;) {
        for (std::uint32_t o = 8; o-- > 0;) {
          const std::uint32_t l = n * 8 + o;
          const std::uint32_t ci = ((8 * i + n) / mcu_v) * 8 + (8 * k + o) / mcu_h;
          const float y = static_cast<float>(cell.plane[0][l]);
          const float cb = static_cast<float>(origin->plane[1][ci]);
          const float cr = static_cast<float>(origin->plane[2][ci]);
          const float red = (cr * 1.402f + y) + 128.0f;
          const float green = ((y - cb * 0.344f) - cr * 0.714f) + 128.0f;
          const float blue = (cb * 1.772f + y) + 128.0f;
          cell.plane[0][l] = clamp_sample(red);
          cell.plane[1][l] = clamp_sample(green);
          cell.plane[2][l] = clamp_sample(blue);
        }
      }
    }
  }
}

void convert_ycbcr_blocks(DecoderState& state) {
  const std::uint32_t mcu_rows = state.mcu_v_blocks;
  const std::uint32_t mcu_cols = state.mcu_h_blocks;
  if (state.coefficients == nullptr || mcu_rows == 0 || mcu_cols == 0) {
    return;
  }
  for (std::uint32_t mcu_row = 0; mcu_row < state.block_rows; mcu_row += mcu_rows) {
    for (std::uint32_t mcu_col = 0; mcu_col < state.block_cols; mcu_col += mcu_cols) {
      if (mcu_row + mcu_rows > state.padded_block_rows || mcu_col + mcu_cols > state.padded_block_cols) {
        continue;
      }
      convert_ycbcr_mcu(&state.cell(mcu_row, mcu_col), state.padded_block_cols, mcu_cols, mcu_rows);
    }
  }
}

}  // namespace shardcast
