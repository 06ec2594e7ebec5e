// The two convolution filters as plain functions over a work buffer, in the
// straightforward form (the reference, which GlitchSettings' filters used to
// be) and a fast form per instruction-set level (SSE2, AVX2) that gives the
// same bytes: the same single-precision products and sums in the same
// order on every lane (kernel_sum, below, for every form), truncation by
// cvttps2dq (INT32_MIN for NaN and values out of range, like
// truncate_to_int32), and filter 2's rounding of halves away from zero
// rebuilt exactly from the truncation.
//
// Pictures of 2 rows or columns or fewer, or without pixels, are left alone.
// Filter 1 needs a copy of what it overwrites; when that copy cannot be
// allocated the pass does nothing.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"  // SimdLevel

namespace shardcast {

void filter1_reference(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value);
void filter2_reference(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value);

void filter1_fast(SimdLevel level, std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value);
void filter2_fast(SimdLevel level, std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value);

// The kernel's sum for one channel of a pixel, or for every lane of a vector
// at once: starting at 0, the columns dx = -1, 0, +1 in this order and within
// each the rows dy = -1, 0, +1, each sample times its weight. The four
// corners weigh 0: their products are +0, and adding +0 cannot change a
// sum's truncated or rounded value, so they are left out. `Ops` gives the
// type F (float or a vector of them) and zero(), add() and mul() on it.
template <class Ops>
inline typename Ops::F kernel_sum(typename Ops::F left, typename Ops::F above, typename Ops::F here,
                                  typename Ops::F below, typename Ops::F right, typename Ops::F edge,
                                  typename Ops::F centre) {
  typename Ops::F sum = Ops::add(Ops::zero(), Ops::mul(left, edge));
  sum = Ops::add(sum, Ops::mul(above, edge));
  sum = Ops::add(sum, Ops::mul(here, centre));
  sum = Ops::add(sum, Ops::mul(below, edge));
  return Ops::add(sum, Ops::mul(right, edge));
}

namespace simd_detail {
// Filter 1 on one row: pixels first to end - 1 of `target` from the
// unfiltered rows above, here and below (each a whole row of the picture),
// whole steps only; returns the first pixel it did not do.
std::int32_t filter1_row_sse2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge, float centre);
std::int32_t filter1_row_avx2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge, float centre);
// Filter 2 over the whole picture.
void filter2_sse2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge, float centre);
void filter2_avx2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge, float centre);
}  // namespace simd_detail

}  // namespace shardcast
