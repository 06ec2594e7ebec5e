// The block kernels on four lanes with SSE2, which every x86-64 processor
// has. A row of eight entries is two vectors.
#include <emmintrin.h>

#include "decoder/block_kernels.h"
#include "decoder/block_kernels_vector.h"
#include "decoder/reconstruction.h"

namespace shardcast::simd_detail {
namespace {

struct Ops {
  static constexpr int lanes = 4;
  using F = __m128;
  using I = __m128i;

  static I load(const std::int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void store(std::int32_t* p, I v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static I load_pairs(const std::int32_t* p) {
    const I two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi32(two, two);
  }
  static F to_float(I v) { return _mm_cvtepi32_ps(v); }
  static I truncate(F v) { return _mm_cvttps_epi32(v); }
  static F add(F a, F b) { return _mm_add_ps(a, b); }
  static F sub(F a, F b) { return _mm_sub_ps(a, b); }
  static F mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F splat(float value) { return _mm_set1_ps(value); }
  // SSE2 multiplies only lanes 0 and 2 (to 64 bits); the low halves of two
  // such products, lanes 0 and 2 and then 1 and 3, are the wrapped products.
  static I mul_wrapping(I a, I b) {
    const I even = _mm_mul_epu32(a, b);
    const I odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
  }
  static I clamp_sample(I v) {
    const I non_negative = _mm_andnot_si128(_mm_srai_epi32(v, 31), v);
    const I limit = _mm_set1_epi32(255);
    const I over = _mm_cmpgt_epi32(non_negative, limit);
    return _mm_or_si128(_mm_and_si128(over, limit), _mm_andnot_si128(over, non_negative));
  }
  static I low_byte(I v) { return _mm_and_si128(v, _mm_set1_epi32(0xFF)); }
  static I shift_left(I v, int bits) { return _mm_sll_epi32(v, _mm_cvtsi32_si128(bits)); }
  static I bit_or(I a, I b) { return _mm_or_si128(a, b); }

  static void transpose4(I& r0, I& r1, I& r2, I& r3) {
    const I t0 = _mm_unpacklo_epi32(r0, r1);
    const I t1 = _mm_unpacklo_epi32(r2, r3);
    const I t2 = _mm_unpackhi_epi32(r0, r1);
    const I t3 = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(t0, t1);
    r1 = _mm_unpackhi_epi64(t0, t1);
    r2 = _mm_unpacklo_epi64(t2, t3);
    r3 = _mm_unpackhi_epi64(t2, t3);
  }
  // x[g][k]: row k, columns 4g to 4g + 3. The four 4x4 quarters are each
  // transposed, and the two off the diagonal change places.
  static void transpose(I (&x)[2][8]) {
    transpose4(x[0][0], x[0][1], x[0][2], x[0][3]);
    transpose4(x[0][4], x[0][5], x[0][6], x[0][7]);
    transpose4(x[1][0], x[1][1], x[1][2], x[1][3]);
    transpose4(x[1][4], x[1][5], x[1][6], x[1][7]);
    for (int k = 0; k < 4; ++k) {
      const I upper_right = x[1][k];
      x[1][k] = x[0][k + 4];
      x[0][k + 4] = upper_right;
    }
  }
};

IdctVectors<Ops> constants() {
  const IdctConstants& c = idct_constants();
  return idct_vectors<Ops>(c.scale, c.k_sqrt2, c.k_c6, c.k_minus, c.k_plus);
}

}  // namespace

void dequantize_and_transform_sse2(std::int32_t* block, const std::uint32_t* quant_values, bool inverse_dct) {
  simd_detail::dequantize_and_transform<Ops>(block, quant_values, inverse_dct, constants());
}

void convert_mcu_sse2(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v) {
  simd_detail::convert_mcu<Ops>(origin, stride, mcu_h, mcu_v);
}

void write_pixel_row_sse2(const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                          std::uint8_t* pixels) {
  simd_detail::write_pixel_row<Ops>(cells, row_in_block, columns, pixels);
}

}  // namespace shardcast::simd_detail
