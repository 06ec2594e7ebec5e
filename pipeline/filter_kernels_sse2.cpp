// The filters' SSE2 forms, on four lanes: filter 1 four pixels a step and
// filter 2 the wavefront, both from filter_kernels_vector.h.
#include <emmintrin.h>

#include <cstdint>

#include "pipeline/filter_kernels.h"
#include "pipeline/filter_kernels_vector.h"

namespace shardcast::simd_detail {
namespace {

struct Ops {
  static constexpr std::int32_t pixels_per_step = 4;
  using F = __m128;
  using I = __m128i;

  static F zero() { return _mm_setzero_ps(); }
  static F add(F a, F b) { return _mm_add_ps(a, b); }
  static F mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F splat(float value) { return _mm_set1_ps(value); }
  static I truncate(F v) { return _mm_cvttps_epi32(v); }
  static I low_byte(I v) { return _mm_and_si128(v, _mm_set1_epi32(0xFF)); }

  // Four pixels' sixteen bytes, one pixel to a vector.
  static void load_pixels(const std::uint8_t* p, F (&out)[4]) {
    const I zero = _mm_setzero_si128();
    const I bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const I low = _mm_unpacklo_epi8(bytes, zero);
    const I high = _mm_unpackhi_epi8(bytes, zero);
    out[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero));
    out[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero));
    out[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero));
    out[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero));
  }

  static void store_pixels(std::uint8_t* p, const I (&lanes)[4]) {
    const I bytes = _mm_packus_epi16(_mm_packs_epi32(lanes[0], lanes[1]), _mm_packs_epi32(lanes[2], lanes[3]));
    const I original = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const I alpha = _mm_set1_epi32(0xFF);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_or_si128(_mm_andnot_si128(alpha, bytes), _mm_and_si128(alpha, original)));
  }

  // SSE2 widens in two steps.
  static I widen(I bytes) {
    const I zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
  }
};

}  // namespace

std::int32_t filter1_row_sse2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge_weight,
                              float centre_weight) {
  return filter1_row<Ops>(above, here, below, target, first, end, edge_weight, centre_weight);
}

void filter2_sse2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge_weight,
                  float centre_weight) {
  filter2_wavefront<Ops>(pixels, width, height, edge_weight, centre_weight);
}

}  // namespace shardcast::simd_detail
