// Quantisation-table tampering and the three switchable reconstruction
// stages, each working in place on the coefficient storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

#include "decoder/decoder.h"
#include "decoder/decoder_state.h"

namespace shardcast {

// The inverse DCT's single-precision constants: the per-frequency scales
// and the rotation factors of the scaled float transform.
struct IdctConstants {
  float scale[8];
  float k_sqrt2;
  float k_c2;
  float k_c6;
  float k_minus;  // k_c2 - k_c6, formed in single precision
  float k_plus;   // k_c6 + k_c2, formed in single precision
};
const IdctConstants& idct_constants();

// Calls visit(block_row, block_col, component) for every block an
// interleaved scan fills in the MCU at (mcu_row, mcu_col): each component's
// v_factor x h_factor blocks that lie inside the padded storage. The stages
// run over exactly these blocks, in both decode drivers.
template <class Visit>
void for_each_block_of_mcu(const DecoderState& state, std::uint32_t mcu_row, std::uint32_t mcu_col, Visit&& visit) {
  const std::uint32_t planes = state.component_count < 3 ? state.component_count : 3;
  for (std::uint32_t i = 0; i < planes; ++i) {
    const ComponentSpec& component = state.components[i];
    for (std::uint32_t v = 0; v < component.v_factor; ++v) {
      for (std::uint32_t h = 0; h < component.h_factor; ++h) {
        const std::uint32_t row = mcu_row + v;
        const std::uint32_t col = mcu_col + h;
        if (row < state.padded_block_rows && col < state.padded_block_cols) {
          visit(row, col, i);
        }
      }
    }
  }
}

// Table 0 (luma) and table 1 (chroma) as the tampering asks, random entries
// drawn from each table's own engine.
void tamper_quant_tables(DecoderState& state, const TableTampering& luma, std::mt19937& luma_rng,
                         const TableTampering& chroma, std::mt19937& chroma_rng);
void dequantize_blocks(DecoderState& state);
// One block of 64 entries times the table's, wrapping.
void dequantize_block(std::int32_t* block, const std::uint32_t* quant_values);
void inverse_dct_8x8(std::int32_t* block);
void inverse_dct_blocks(DecoderState& state);
void convert_ycbcr_blocks(DecoderState& state);
// The conversion of one MCU of mcu_v x mcu_h block cells, `stride` cells
// from one row of them to the next, chroma from the origin cell.
void convert_ycbcr_mcu(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v);

}  // namespace shardcast
