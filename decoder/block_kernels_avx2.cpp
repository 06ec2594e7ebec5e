// The block kernels on eight lanes with AVX2: a row of eight entries is one
// vector. This file alone is compiled for AVX2 (and without FMA, so nothing
// is fused); its functions run only where simd_level.h finds AVX2, and
// everything it instantiates stays inside it.
#include <immintrin.h>

#include "decoder/block_kernels.h"
#include "decoder/block_kernels_vector.h"
#include "decoder/reconstruction.h"

namespace shardcast::simd_detail {
namespace {

struct Ops {
  static constexpr int lanes = 8;
  using F = __m256;
  using I = __m256i;

  static I load(const std::int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void store(std::int32_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static I load_pairs(const std::int32_t* p) {
    const I four = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    return _mm256_permutevar8x32_epi32(four, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  }
  static F to_float(I v) { return _mm256_cvtepi32_ps(v); }
  static I truncate(F v) { return _mm256_cvttps_epi32(v); }
  static F add(F a, F b) { return _mm256_add_ps(a, b); }
  static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
  static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
  static F splat(float value) { return _mm256_set1_ps(value); }
  static I mul_wrapping(I a, I b) { return _mm256_mullo_epi32(a, b); }
  static I clamp_sample(I v) {
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
  }
  static I low_byte(I v) { return _mm256_and_si256(v, _mm256_set1_epi32(0xFF)); }
  static I shift_left(I v, int bits) { return _mm256_sll_epi32(v, _mm_cvtsi32_si128(bits)); }
  static I bit_or(I a, I b) { return _mm256_or_si256(a, b); }

  static void transpose(I (&x)[1][8]) {
    I(&r)[8] = x[0];
    const __m256 t0 = _mm256_unpacklo_ps(_mm256_castsi256_ps(r[0]), _mm256_castsi256_ps(r[1]));
    const __m256 t1 = _mm256_unpackhi_ps(_mm256_castsi256_ps(r[0]), _mm256_castsi256_ps(r[1]));
    const __m256 t2 = _mm256_unpacklo_ps(_mm256_castsi256_ps(r[2]), _mm256_castsi256_ps(r[3]));
    const __m256 t3 = _mm256_unpackhi_ps(_mm256_castsi256_ps(r[2]), _mm256_castsi256_ps(r[3]));
    const __m256 t4 = _mm256_unpacklo_ps(_mm256_castsi256_ps(r[4]), _mm256_castsi256_ps(r[5]));
    const __m256 t5 = _mm256_unpackhi_ps(_mm256_castsi256_ps(r[4]), _mm256_castsi256_ps(r[5]));
    const __m256 t6 = _mm256_unpacklo_ps(_mm256_castsi256_ps(r[6]), _mm256_castsi256_ps(r[7]));
    const __m256 t7 = _mm256_unpackhi_ps(_mm256_castsi256_ps(r[6]), _mm256_castsi256_ps(r[7]));
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 s1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 s3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 s4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 s5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 s6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 s7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    r[0] = _mm256_castps_si256(_mm256_permute2f128_ps(s0, s4, 0x20));
    r[1] = _mm256_castps_si256(_mm256_permute2f128_ps(s1, s5, 0x20));
    r[2] = _mm256_castps_si256(_mm256_permute2f128_ps(s2, s6, 0x20));
    r[3] = _mm256_castps_si256(_mm256_permute2f128_ps(s3, s7, 0x20));
    r[4] = _mm256_castps_si256(_mm256_permute2f128_ps(s0, s4, 0x31));
    r[5] = _mm256_castps_si256(_mm256_permute2f128_ps(s1, s5, 0x31));
    r[6] = _mm256_castps_si256(_mm256_permute2f128_ps(s2, s6, 0x31));
    r[7] = _mm256_castps_si256(_mm256_permute2f128_ps(s3, s7, 0x31));
  }
};

IdctVectors<Ops> constants() {
  const IdctConstants& c = idct_constants();
  return idct_vectors<Ops>(c.scale, c.k_sqrt2, c.k_c6, c.k_minus, c.k_plus);
}

}  // namespace

void dequantize_and_transform_avx2(std::int32_t* block, const std::uint32_t* quant_values, bool inverse_dct) {
  simd_detail::dequantize_and_transform<Ops>(block, quant_values, inverse_dct, constants());
}

void convert_mcu_avx2(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v) {
  simd_detail::convert_mcu<Ops>(origin, stride, mcu_h, mcu_v);
}

void write_pixel_row_avx2(const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                          std::uint8_t* pixels) {
  simd_detail::write_pixel_row<Ops>(cells, row_in_block, columns, pixels);
}

}  // namespace shardcast::simd_detail
