// Chooses the form of each block kernel for the level asked for. The scalar
// forms are the reconstruction stages' own code (reconstruction.cpp) and the
// write-out, which the reference driver writes its pixels with.
#include "decoder/block_kernels.h"

#include "decoder/reconstruction.h"

namespace shardcast {

void dequantize_and_transform(SimdLevel level, std::int32_t* block, const std::uint32_t* quant_values,
                              bool inverse_dct) {
  switch (level) {
    case SimdLevel::avx2:
      simd_detail::dequantize_and_transform_avx2(block, quant_values, inverse_dct);
      return;
    case SimdLevel::sse2:
      simd_detail::dequantize_and_transform_sse2(block, quant_values, inverse_dct);
      return;
    case SimdLevel::scalar:
      break;
  }
  if (quant_values != nullptr) {
    dequantize_block(block, quant_values);
  }
  if (inverse_dct) {
    inverse_dct_8x8(block);
  }
}

void convert_mcu(SimdLevel level, BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v) {
  switch (level) {
    case SimdLevel::avx2:
      simd_detail::convert_mcu_avx2(origin, stride, mcu_h, mcu_v);
      return;
    case SimdLevel::sse2:
      simd_detail::convert_mcu_sse2(origin, stride, mcu_h, mcu_v);
      return;
    case SimdLevel::scalar:
      convert_ycbcr_mcu(origin, stride, mcu_h, mcu_v);
      return;
  }
}

void write_pixel_row(SimdLevel level, const BlockCell* cells, std::uint32_t row_in_block, std::uint32_t columns,
                     std::uint8_t* pixels) {
  switch (level) {
    case SimdLevel::avx2:
      simd_detail::write_pixel_row_avx2(cells, row_in_block, columns, pixels);
      return;
    case SimdLevel::sse2:
      simd_detail::write_pixel_row_sse2(cells, row_in_block, columns, pixels);
      return;
    case SimdLevel::scalar:
      break;
  }
  const std::uint32_t entry = row_in_block * 8;
  for (std::uint32_t x = 0; x < columns; ++x, pixels += 4) {
    const BlockCell& cell = cells[x / 8];
    // Conversion to uint8_t keeps the low byte: -3 becomes 253.
    pixels[1] = static_cast<std::uint8_t>(cell.plane[0][entry + x % 8]);
    pixels[2] = static_cast<std::uint8_t>(cell.plane[1][entry + x % 8]);
    pixels[3] = static_cast<std::uint8_t>(cell.plane[2][entry + x % 8]);
  }
}

}  // namespace shardcast
