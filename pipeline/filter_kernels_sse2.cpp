// The filters' SSE2 forms. Filter 1 does four pixels a step, every byte of
// them a lane (alpha lanes are computed and thrown away); filter 2 is the
// wavefront of filter_kernels_vector.h.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pipeline/filter_kernels.h"
#include "pipeline/filter_kernels_vector.h"

namespace shardcast::simd_detail {
namespace {

// Four pixels' sixteen bytes as four vectors of floats, one pixel each.
inline void load_bytes(const std::uint8_t* p, __m128 (&out)[4]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i low = _mm_unpacklo_epi8(bytes, zero);
  const __m128i high = _mm_unpackhi_epi8(bytes, zero);
  out[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero));
  out[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero));
  out[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero));
  out[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero));
}

// The sum of one lane, grouped as the scalar filters group it.
inline __m128 convolve(__m128 left, __m128 above, __m128 here, __m128 below, __m128 right, __m128 edge, __m128 centre) {
  __m128 sum = _mm_add_ps(_mm_setzero_ps(), _mm_mul_ps(left, edge));
  sum = _mm_add_ps(sum, _mm_mul_ps(above, edge));
  sum = _mm_add_ps(sum, _mm_mul_ps(here, centre));
  sum = _mm_add_ps(sum, _mm_mul_ps(below, edge));
  return _mm_add_ps(sum, _mm_mul_ps(right, edge));
}

// Lanes holding 0-255 back to bytes, alpha taken from `alpha_source`.
inline __m128i pack_bytes(__m128i r0, __m128i r1, __m128i r2, __m128i r3, __m128i alpha_source) {
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(r0, r1), _mm_packs_epi32(r2, r3));
  const __m128i alpha = _mm_set1_epi32(0xFF);
  return _mm_or_si128(_mm_andnot_si128(alpha, bytes), _mm_and_si128(alpha, alpha_source));
}

inline __m128i low_bytes(__m128i v) { return _mm_and_si128(v, _mm_set1_epi32(0xFF)); }

// Four bytes widened to int32 lanes with SSE2.
struct Sse2PixelLoad {
  static __m128i widen(__m128i bytes) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
  }
};

}  // namespace

std::int32_t filter1_row_sse2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge_weight,
                              float centre_weight) {
  const __m128 edge = _mm_set1_ps(edge_weight);
  const __m128 centre = _mm_set1_ps(centre_weight);
  std::int32_t x = first;
  // Four pixels from x on; their right neighbours reach pixel x + 4 <= end.
  for (; x + 4 <= end; x += 4) {
    const std::size_t at = static_cast<std::size_t>(x) * 4;
    __m128 l[4], a[4], h[4], b[4], r[4];
    load_bytes(here + at - 4, l);
    load_bytes(above + at, a);
    load_bytes(here + at, h);
    load_bytes(below + at, b);
    load_bytes(here + at + 4, r);
    __m128i results[4];
    for (int i = 0; i < 4; ++i) {
      results[i] = low_bytes(_mm_cvttps_epi32(convolve(l[i], a[i], h[i], b[i], r[i], edge, centre)));
    }
    const __m128i original = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at),
                     pack_bytes(results[0], results[1], results[2], results[3], original));
  }
  return x;
}

void filter2_sse2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge_weight,
                  float centre_weight) {
  filter2_wavefront<Sse2PixelLoad>(pixels, width, height, edge_weight, centre_weight);
}

}  // namespace shardcast::simd_detail
