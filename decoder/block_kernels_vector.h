// The vector forms of the block kernels, written once over an instruction
// set's operations. block_kernels_sse2.cpp and block_kernels_avx2.cpp each
// define their `Ops` in an anonymous namespace and instantiate these
// templates with it, so every instantiation stays inside its own file and
// its own instruction set.
//
// Ops provides, for vectors of Ops::lanes (4 or 8) lanes:
//   F, I                      float and int32 vectors
//   load, store               int32 vectors from and to memory, unaligned
//   load_pairs(p)             p[0], p[0], p[1], p[1], ... (lanes / 2 entries)
//   to_float, truncate        cvtdq2ps and cvttps2dq
//   add, sub, mul, splat      single-precision arithmetic
//   mul_wrapping              the low 32 bits of the lane products
//   clamp_sample              below 0 gives 0, above 255 gives 255
//   low_byte, shift_left      AND 0xFF and a left shift of each lane
//   bit_or                    OR of two int vectors
//   transpose(x)              the 8x8 transpose of a block held in
//                             x[8 / lanes][8] (x[g][k]: row k, lanes g*lanes..)
//
// Each operation works lane by lane exactly as the scalar code works entry by
// entry, and the arithmetic below is grouped as in reconstruction.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decoder/block_kernels.h"
#include "decoder/decoder_state.h"

namespace shardcast::simd_detail {

// The inverse DCT's constants, splatted.
template <class Ops>
struct IdctVectors {
  typename Ops::F scale[8];
  typename Ops::F k_sqrt2;
  typename Ops::F k_c6;
  typename Ops::F k_minus;
  typename Ops::F k_plus;
};

template <class Ops>
IdctVectors<Ops> idct_vectors(const float* scale, float k_sqrt2, float k_c6, float k_minus, float k_plus) {
  IdctVectors<Ops> v;
  for (int k = 0; k < 8; ++k) {
    v.scale[k] = Ops::splat(scale[k]);
  }
  v.k_sqrt2 = Ops::splat(k_sqrt2);
  v.k_c6 = Ops::splat(k_c6);
  v.k_minus = Ops::splat(k_minus);
  v.k_plus = Ops::splat(k_plus);
  return v;
}

// One eight-point pass on every lane: x[k] holds entry k of each lane's
// eight, and gets the truncated results back.
template <class Ops>
inline void idct_pass(typename Ops::I* x, const IdctVectors<Ops>& c) {
  using F = typename Ops::F;
  F z[8];
  for (int k = 0; k < 8; ++k) {
    z[k] = Ops::mul(Ops::to_float(x[k]), c.scale[k]);
  }
  const F p = Ops::add(z[0], z[4]);
  const F q = Ops::sub(z[0], z[4]);
  const F e = Ops::add(z[2], z[6]);
  const F o = Ops::sub(Ops::mul(Ops::sub(z[2], z[6]), c.k_sqrt2), e);
  const F s = Ops::add(p, e);
  const F t = Ops::sub(p, e);

  const F a = Ops::add(z[1], z[7]);
  const F b = Ops::sub(z[1], z[7]);
  const F g = Ops::sub(z[5], z[3]);
  const F h = Ops::add(z[3], z[5]);
  const F v = Ops::add(h, a);
  const F r = Ops::mul(Ops::add(b, g), c.k_c6);
  const F d = Ops::sub(Ops::mul(b, c.k_plus), r);
  const F f = Ops::sub(Ops::add(Ops::mul(Ops::sub(a, h), c.k_sqrt2), v), d);
  const F m = Ops::sub(Ops::add(Ops::mul(g, c.k_minus), r), f);

  const F q_minus_o = Ops::sub(q, o);
  const F o_plus_q = Ops::add(o, q);
  const F d_minus_v = Ops::sub(d, v);
  x[0] = Ops::truncate(Ops::add(s, v));
  x[1] = Ops::truncate(Ops::add(d_minus_v, o_plus_q));
  x[2] = Ops::truncate(Ops::add(q_minus_o, f));
  x[3] = Ops::truncate(Ops::add(m, t));
  x[4] = Ops::truncate(Ops::sub(t, m));
  x[5] = Ops::truncate(Ops::sub(q_minus_o, f));
  x[6] = Ops::truncate(Ops::sub(o_plus_q, d_minus_v));
  x[7] = Ops::truncate(Ops::sub(s, v));
}

template <class Ops>
void dequantize_and_transform(std::int32_t* block, const std::uint32_t* quant_values, bool inverse_dct,
                              const IdctVectors<Ops>& constants) {
  constexpr int groups = 8 / Ops::lanes;
  typename Ops::I x[groups][8];
  for (int g = 0; g < groups; ++g) {
    for (int k = 0; k < 8; ++k) {
      x[g][k] = Ops::load(block + k * 8 + g * Ops::lanes);
      if (quant_values != nullptr) {
        const auto* quant = reinterpret_cast<const std::int32_t*>(quant_values);
        x[g][k] = Ops::mul_wrapping(x[g][k], Ops::load(quant + k * 8 + g * Ops::lanes));
      }
    }
  }
  if (inverse_dct) {
    // Columns first (each lane one column), then the rows of the truncated
    // results, as columns of the transposed block.
    for (int g = 0; g < groups; ++g) {
      idct_pass<Ops>(x[g], constants);
    }
    Ops::transpose(x);
    for (int g = 0; g < groups; ++g) {
      idct_pass<Ops>(x[g], constants);
    }
    Ops::transpose(x);
  }
  for (int g = 0; g < groups; ++g) {
    for (int k = 0; k < 8; ++k) {
      Ops::store(block + k * 8 + g * Ops::lanes, x[g][k]);
    }
  }
}

// Every output of the MCU depends only on values from before the
// conversion: the origin's chroma is copied first, and each luma entry is
// read before its own entry is written.
template <class Ops>
void convert_mcu(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v) {
  using F = typename Ops::F;
  using I = typename Ops::I;
  std::int32_t cb[64];
  std::int32_t cr[64];
  std::memcpy(cb, origin->plane[1], sizeof cb);
  std::memcpy(cr, origin->plane[2], sizeof cr);
  const F cr_to_red = Ops::splat(1.402f);
  const F cb_to_green = Ops::splat(0.344f);
  const F cr_to_green = Ops::splat(0.714f);
  const F cb_to_blue = Ops::splat(1.772f);
  const F level = Ops::splat(128.0f);
  for (std::uint32_t i = 0; i < mcu_v; ++i) {
    for (std::uint32_t k = 0; k < mcu_h; ++k) {
      BlockCell& cell = origin[i * stride + k];
      for (std::uint32_t n = 0; n < 8; ++n) {
        const std::uint32_t chroma_row = ((8 * i + n) / mcu_v) * 8;
        for (std::uint32_t g = 0; g < 8 / Ops::lanes; ++g) {
          const std::uint32_t l = n * 8 + g * Ops::lanes;
          I cb_lanes;
          I cr_lanes;
          if (mcu_h == 1) {
            cb_lanes = Ops::load(cb + chroma_row + g * Ops::lanes);
            cr_lanes = Ops::load(cr + chroma_row + g * Ops::lanes);
          } else {
            const std::uint32_t column = 4 * k + g * Ops::lanes / 2;
            cb_lanes = Ops::load_pairs(cb + chroma_row + column);
            cr_lanes = Ops::load_pairs(cr + chroma_row + column);
          }
          const F y = Ops::to_float(Ops::load(cell.plane[0] + l));
          const F b = Ops::to_float(cb_lanes);
          const F r = Ops::to_float(cr_lanes);
          const F red = Ops::add(Ops::add(Ops::mul(r, cr_to_red), y), level);
          const F green = Ops::add(Ops::sub(Ops::sub(y, Ops::mul(b, cb_to_green)), Ops::mul(r, cr_to_green)), level);
          const F blue = Ops::add(Ops::add(Ops::mul(b, cb_to_blue), y), level);
          Ops::store(cell.plane[0] + l, Ops::clamp_sample(Ops::truncate(red)));
          Ops::store(cell.plane[1] + l, Ops::clamp_sample(Ops::truncate(green)));
          Ops::store(cell.plane[2] + l, Ops::clamp_sample(Ops::truncate(blue)));
        }
      }
    }
  }
}

// Whole blocks of eight pixels in vectors, a part block at the right edge
// by the scalar form. Alpha is read and written back unchanged.
template <class Ops>
void write_pixel_row(const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns, std::uint8_t* pixels) {
  using I = typename Ops::I;
  const std::uint32_t whole = columns / 8 * 8;
  const std::uint32_t entry = row_in_block * 8;
  for (std::uint32_t x = 0; x < whole; x += 8) {
    const BlockCell& cell = cells[x / 8];
    for (std::uint32_t g = 0; g < 8 / Ops::lanes; ++g) {
      const std::uint32_t e = entry + g * Ops::lanes;
      auto* target = reinterpret_cast<std::int32_t*>(pixels + (x + g * Ops::lanes) * 4);
      const I alpha = Ops::low_byte(Ops::load(target));
      const I red = Ops::shift_left(Ops::low_byte(Ops::load(cell.plane[0] + e)), 8);
      const I green = Ops::shift_left(Ops::low_byte(Ops::load(cell.plane[1] + e)), 16);
      const I blue = Ops::shift_left(Ops::load(cell.plane[2] + e), 24);
      Ops::store(target, Ops::bit_or(Ops::bit_or(alpha, red), Ops::bit_or(green, blue)));
    }
  }
  if (whole < columns) {
    shardcast::write_pixel_row(SimdLevel::scalar, cells + whole / 8, row_in_block, columns - whole,
                               pixels + std::size_t{whole} * 4);
  }
}

}  // namespace shardcast::simd_detail
