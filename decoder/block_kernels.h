// The reconstruction stages on single blocks, MCUs and pixel rows, with an
// SSE2 and an AVX2 form beside the scalar one.
//
// The scalar form of each routine is the reference: the reconstruction
// stages' own code, entry by entry, and the write-out that the reference
// driver writes its pixels with.
// The vector forms compute the same single-precision operations in the same
// grouping on several lanes at once; cvttps2dq gives INT32_MIN for NaN and
// for values outside the int32 range, just as truncate_to_int32 does, and
// cvtdq2ps rounds like the scalar conversion. So every level gives the same
// bits; tests and fuzzing check that on every level the processor has.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/decoder_state.h"
#include "decoder/simd_level.h"

namespace shardcast {

// Dequantisation (when quant_values is not null: entry j times
// quant_values[j], wrapping) and then, when inverse_dct, the inverse DCT of
// one block of 64 entries in natural order, in place.
void dequantize_and_transform(SimdLevel level, std::int32_t* block, const std::uint32_t* quant_values,
                              bool inverse_dct);

// YCbCr-to-RGB conversion of one MCU of mcu_v x mcu_h block cells (each 1
// or 2), the origin cell first and the cells of a row `stride` cells apart,
// chroma taken from the origin cell, in place.
void convert_mcu(SimdLevel level, BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v);

// Writes pixel row `row_in_block` (0-7) of a row of block cells into
// `columns` pixels: red, green and blue take the low bytes of planes 0, 1
// and 2; alpha is left as it is.
void write_pixel_row(SimdLevel level, const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                     std::uint8_t* pixels);

namespace simd_detail {
// The vector forms, one set per instruction set (block_kernels_sse2.cpp and
// block_kernels_avx2.cpp); callers go through the functions above.
void dequantize_and_transform_sse2(std::int32_t* block, const std::uint32_t* quant_values, bool inverse_dct);
void convert_mcu_sse2(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v);
void write_pixel_row_sse2(const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                          std::uint8_t* pixels);
void dequantize_and_transform_avx2(std::int32_t* block, const std::uint32_t* quant_values, bool inverse_dct);
void convert_mcu_avx2(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v);
void write_pixel_row_avx2(const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                          std::uint8_t* pixels);
}  // namespace simd_detail

}  // namespace shardcast
