// The filters' vector forms, written once for the SSE2 file and the AVX2
// file. Each file instantiates them with its own `Ops` from an anonymous
// namespace, so the code stays inside the file and its instruction set.
//
// Filter 1 (filter1_row) does Ops::pixels_per_step pixels a step, every byte
// of them a lane; the alpha lanes are computed and thrown away. Ops gives,
// besides kernel_sum's F, zero, add and mul:
//   I                        int32 vectors
//   splat(float)             one float in every lane
//   load_pixels(p, out)      4 * pixels_per_step bytes as four vectors of floats
//   truncate, low_byte       cvttps2dq, and AND 0xFF of each lane
//   store_pixels(p, r)       the lanes of r (each 0-255) as bytes into p,
//                            keeping p's alpha bytes
//   widen(bytes)             four bytes of a 128-bit vector to int32 lanes
//
// Filter 2 (filter2_wavefront) works one pixel to a 128-bit vector: lanes
// alpha, red, green, blue. The alpha lane gets the weights 0 for the
// neighbours and 1 for the pixel itself, so it comes out as the pixel's own
// alpha byte (0 times a byte is 0, a byte times 1 is the byte) and the four
// bytes can be stored whole.
//
// Several rows run at once on a diagonal wavefront: row top + j works at
// column step - j in step `step`, so each pixel's left and upper neighbours
// are finished and its right and lower ones untouched when it is computed,
// exactly as in raster order. The pixels a row needs again stay in
// registers: its filtered left neighbour, its unfiltered self (the right
// neighbour of the step before), the filtered upper neighbour of the row
// below (this row's left neighbour before this step) and the unfiltered
// lower neighbour of the row above (this row's right neighbour). Within a
// step the rows are worked from the bottom up, so each sees the state of
// the step before.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pipeline/filter_kernels.h"

namespace shardcast::simd_detail {

template <class Ops>
std::int32_t filter1_row(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                         std::uint8_t* target, std::int32_t first, std::int32_t end, float edge_weight,
                         float centre_weight) {
  using F = typename Ops::F;
  using I = typename Ops::I;
  constexpr std::int32_t step = Ops::pixels_per_step;
  const F edge = Ops::splat(edge_weight);
  const F centre = Ops::splat(centre_weight);
  std::int32_t x = first;
  // The pixels from x on; their right neighbours reach pixel x + step <= end.
  for (; x + step <= end; x += step) {
    const std::size_t at = static_cast<std::size_t>(x) * 4;
    F l[4], a[4], h[4], b[4], r[4];
    Ops::load_pixels(here + at - 4, l);
    Ops::load_pixels(above + at, a);
    Ops::load_pixels(here + at, h);
    Ops::load_pixels(below + at, b);
    Ops::load_pixels(here + at + 4, r);
    I results[4];
    for (int i = 0; i < 4; ++i) {
      results[i] = Ops::low_byte(Ops::truncate(kernel_sum<Ops>(l[i], a[i], h[i], b[i], r[i], edge, centre)));
    }
    Ops::store_pixels(target + at, results);
  }
  return x;
}

// Rows of the wavefront: enough independent pixels per step to keep the
// processor busy while each waits for its left neighbour.
inline constexpr int filter2_wavefront_rows = 4;

// Filter 2's pixel vectors: kernel_sum's operations on 128 bits, in the
// file of `Ops`, whose widening they use.
template <class Ops>
struct PixelOps {
  using F = __m128;
  static F zero() { return _mm_setzero_ps(); }
  static F add(F a, F b) { return _mm_add_ps(a, b); }
  static F mul(F a, F b) { return _mm_mul_ps(a, b); }

  static F load(const std::uint8_t* p) {
    std::int32_t bytes = 0;
    std::memcpy(&bytes, p, sizeof bytes);
    return _mm_cvtepi32_ps(Ops::widen(_mm_cvtsi32_si128(bytes)));
  }

  // Per lane: 255 above 255; otherwise std::round (halves away from zero)
  // then truncation to int32; the low byte. The sum is first held to
  // [-2^31, 255] with NaN kept (minps and maxps return their second operand
  // when one is NaN): below -2^31 the truncation gives INT32_MIN either way.
  // The rounding is rebuilt from the truncation: the fraction s - trunc(s)
  // is exact, and one step away from zero is taken when it reaches one half.
  // NaN truncates to INT32_MIN and its fraction compares false.
  static __m128i result(F sum) {
    const F held = _mm_max_ps(_mm_set1_ps(-2147483648.0f), _mm_min_ps(_mm_set1_ps(255.0f), sum));
    const __m128i truncated = _mm_cvttps_epi32(held);
    const F fraction = _mm_sub_ps(held, _mm_cvtepi32_ps(truncated));
    const __m128i up = _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f)));
    const __m128i down = _mm_castps_si128(_mm_cmple_ps(fraction, _mm_set1_ps(-0.5f)));
    const __m128i rounded = _mm_add_epi32(_mm_sub_epi32(truncated, up), down);
    return _mm_and_si128(rounded, _mm_set1_epi32(0xFF));
  }

  static void store(std::uint8_t* p, __m128i lanes) {
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(lanes, lanes), lanes);
    const std::int32_t bytes = _mm_cvtsi128_si32(packed);
    std::memcpy(p, &bytes, sizeof bytes);
  }
};

struct Filter2Weights {
  __m128 edge;    // 0, -v, -v, -v
  __m128 centre;  // 1, 4v, 4v, 4v
};

template <class Ops, int Rows>
void filter2_rows(std::uint8_t* pixels, std::ptrdiff_t row_bytes, std::int32_t top, std::int32_t last_column,
                  const Filter2Weights& weights) {
  using Pixel = PixelOps<Ops>;
  std::uint8_t* row[Rows + 1];
  for (int j = 0; j <= Rows; ++j) {
    row[j] = pixels + (top + j) * row_bytes;
  }
  const std::uint8_t* row_above = row[0] - row_bytes;
  __m128 left[Rows] = {};
  __m128 here[Rows] = {};
  __m128 right[Rows] = {};
  for (std::int32_t step = 1; step <= last_column + Rows - 1; ++step) {
    for (int j = 0; j < Rows; ++j) {
      const std::int32_t x = step - j;
      if (x >= 1 && x <= last_column) {
        if (x == 1) {
          left[j] = Pixel::load(row[j]);
          here[j] = Pixel::load(row[j] + 4);
        }
        right[j] = Pixel::load(row[j] + (x + 1) * 4);
      }
    }
    for (int j = Rows - 1; j >= 0; --j) {
      const std::int32_t x = step - j;
      if (x < 1 || x > last_column) {
        continue;
      }
      const __m128 above = j == 0 ? Pixel::load(row_above + x * 4) : left[j - 1];
      const __m128 below = j + 1 < Rows && x >= 2 ? right[j + 1] : Pixel::load(row[j + 1] + x * 4);
      const __m128i result =
          Pixel::result(kernel_sum<Pixel>(left[j], above, here[j], below, right[j], weights.edge, weights.centre));
      Pixel::store(row[j] + x * 4, result);
      left[j] = _mm_cvtepi32_ps(result);
      here[j] = right[j];
    }
  }
}

// The last band of rows may be shorter than the wavefront.
template <class Ops, int Rows>
void filter2_rows_up_to(int rows, std::uint8_t* pixels, std::ptrdiff_t row_bytes, std::int32_t top,
                        std::int32_t last_column, const Filter2Weights& weights) {
  if constexpr (Rows > 1) {
    if (rows < Rows) {
      filter2_rows_up_to<Ops, Rows - 1>(rows, pixels, row_bytes, top, last_column, weights);
      return;
    }
  }
  filter2_rows<Ops, Rows>(pixels, row_bytes, top, last_column, weights);
}

template <class Ops>
void filter2_wavefront(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge_weight,
                       float centre_weight) {
  // Lane 0 is alpha (_mm_setr_ps puts its first argument in lane 0).
  const Filter2Weights weights{_mm_setr_ps(0.0f, edge_weight, edge_weight, edge_weight),
                               _mm_setr_ps(1.0f, centre_weight, centre_weight, centre_weight)};
  const auto row_bytes = static_cast<std::ptrdiff_t>(width) * 4;
  const std::int32_t last_column = width - 2;
  for (std::int32_t top = 1; top + 1 < height; top += filter2_wavefront_rows) {
    const std::int32_t rows = top + filter2_wavefront_rows < height - 1 ? filter2_wavefront_rows : height - 1 - top;
    filter2_rows_up_to<Ops, filter2_wavefront_rows>(rows, pixels, row_bytes, top, last_column, weights);
  }
}

}  // namespace shardcast::simd_detail
