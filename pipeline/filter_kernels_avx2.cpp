// The filters' AVX2 forms: filter 1 does eight pixels a step, every byte of
// them a lane; filter 2 is the wavefront of filter_kernels_vector.h with
// bytes widened in one instruction. This file alone is compiled for AVX2
// (without FMA); its code runs only where simd_level.h finds AVX2.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "pipeline/filter_kernels.h"
#include "pipeline/filter_kernels_vector.h"

namespace shardcast::simd_detail {
namespace {

// Eight pixels' 32 bytes as four vectors of floats, two pixels each.
inline void load_bytes(const std::uint8_t* p, __m256 (&out)[4]) {
  for (int q = 0; q < 4; ++q) {
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * q));
    out[q] = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(eight));
  }
}

inline __m256 convolve(__m256 left, __m256 above, __m256 here, __m256 below, __m256 right, __m256 edge, __m256 centre) {
  __m256 sum = _mm256_add_ps(_mm256_setzero_ps(), _mm256_mul_ps(left, edge));
  sum = _mm256_add_ps(sum, _mm256_mul_ps(above, edge));
  sum = _mm256_add_ps(sum, _mm256_mul_ps(here, centre));
  sum = _mm256_add_ps(sum, _mm256_mul_ps(below, edge));
  return _mm256_add_ps(sum, _mm256_mul_ps(right, edge));
}

struct Avx2PixelLoad {
  static __m128i widen(__m128i bytes) { return _mm_cvtepu8_epi32(bytes); }
};

}  // namespace

std::int32_t filter1_row_avx2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                              std::uint8_t* target, std::int32_t first, std::int32_t end, float edge_weight,
                              float centre_weight) {
  const __m256 edge = _mm256_set1_ps(edge_weight);
  const __m256 centre = _mm256_set1_ps(centre_weight);
  const __m256i low_byte = _mm256_set1_epi32(0xFF);
  // The packs below work within 128-bit halves; this puts the four-byte
  // groups back in pixel order.
  const __m256i pixel_order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t x = first;
  for (; x + 8 <= end; x += 8) {
    const std::size_t at = static_cast<std::size_t>(x) * 4;
    __m256 l[4], a[4], h[4], b[4], r[4];
    load_bytes(here + at - 4, l);
    load_bytes(above + at, a);
    load_bytes(here + at, h);
    load_bytes(below + at, b);
    load_bytes(here + at + 4, r);
    __m256i results[4];
    for (int i = 0; i < 4; ++i) {
      results[i] =
          _mm256_and_si256(_mm256_cvttps_epi32(convolve(l[i], a[i], h[i], b[i], r[i], edge, centre)), low_byte);
    }
    const __m256i words_low = _mm256_packs_epi32(results[0], results[1]);
    const __m256i words_high = _mm256_packs_epi32(results[2], results[3]);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words_low, words_high), pixel_order);
    const __m256i original = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target + at));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + at),
                        _mm256_or_si256(_mm256_andnot_si256(low_byte, bytes), _mm256_and_si256(low_byte, original)));
  }
  return x;
}

void filter2_avx2(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float edge_weight,
                  float centre_weight) {
  filter2_wavefront<Avx2PixelLoad>(pixels, width, height, edge_weight, centre_weight);
}

}  // namespace shardcast::simd_detail
