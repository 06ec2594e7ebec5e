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

// Table 0 (luma) and table 1 (chroma) as the tampering asks, random entries
// drawn from each table's own engine.
void tamper_quant_tables(DecoderState& state, const TableTampering& luma, std::mt19937& luma_rng,
                         const TableTampering& chroma, std::mt19937& chroma_rng);
void dequantize_blocks(DecoderState& state);
void inverse_dct_8x8(std::int32_t* block);
void inverse_dct_blocks(DecoderState& state);
void convert_ycbcr_blocks(DecoderState& state);
// The conversion of one MCU of mcu_v x mcu_h block cells, `stride` cells
// from one row of them to the next, chroma from the origin cell.
void convert_ycbcr_mcu(BlockCell* origin, std::size_t stride, std::uint32_t mcu_h, std::uint32_t mcu_v);

}  // namespace shardcast
