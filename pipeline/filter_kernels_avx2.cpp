// The filters' AVX2 forms: filter 1 eight pixels a step, two to a vector,
// and filter 2 the wavefront with bytes widened in one instruction, both
// from filter_kernels_vector.h. This file alone is compiled for AVX2
// (without FMA); its code runs only where simd_level.h finds AVX2.
#include <immintrin.h>

#include <cstdint>

#include "pipeline/filter_kernels.h"
#include "pipeline/filter_kernels_vector.h"

namespace shardcast::simd_detail {
namespace {

struct Ops {
  static constexpr std::int32_t pixels_per_step = 8;
  using F = __m256;
  using I = __m256i;

  static F zero() { return _mm256_setzero_ps(); }
  static F add(F a, F b) { return _mm256_add_ps(a, b); }
  static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
  static F splat(float value) { return _mm256_set1_ps(value); }
  static I truncate(F v) { return _mm256_cvttps_epi32(v); }
  static I low_byte(I v) { return _mm256_and_si256(v, _mm256_set1_epi32(0xFF)); }

  // Eight pixels' 32 bytes, two pixels to a vector.
  static void load_pixels(const std::uint8_t* p, F (&out)[4]) {
    for (int q = 0; q < 4; ++q) {
      const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * q));
      out[q] = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(eight));
    }
  }

  static void store_pixels(std::uint8_t* p, const I (&lanes)[4]) {
    // The packs work within 128-bit halves; the permutation puts the
    // four-byte groups back in pixel order.
    const I words_low = _mm256_packs_epi32(lanes[0], lanes[1]);
    const I words_high = _mm256_packs_epi32(lanes[2], lanes[3]);
    const I bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words_low, words_high),
                                                _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    const I original = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const I alpha = _mm256_set1_epi32(0xFF);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                        _mm256_or_si256(_mm256_andnot_si256(alpha, bytes), _mm256_and_si256(alpha, original)));
  }

  static __m128i widen(__m128i bytes) { return _mm_cvtepu8_epi32(bytes); }
};

}  // namespace

std::int32_t filter1_row_avx2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge_weight,
                              float centre_weight) {
  return filter1_row<Ops>(above, here, below, target, first, end, edge_weight, centre_weight);
}

void filter2_avx2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge_weight,
                  float centre_weight) {
  filter2_wavefront<Ops>(pixels, width, height, edge_weight, centre_weight);
}

}  // namespace shardcast::simd_detail
