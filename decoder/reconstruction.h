// Quantisation-table tampering and the three switchable reconstruction
// stages, each working in place on the coefficient storage.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {

void tamper_quant_tables(DecoderState& state, GlitchSettings& settings);
void dequantize_blocks(DecoderState& state);
void inverse_dct_8x8(std::int32_t* block);
void inverse_dct_blocks(DecoderState& state);
void convert_ycbcr_blocks(DecoderState& state);

}  // namespace shardcast
