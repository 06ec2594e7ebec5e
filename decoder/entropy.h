// Entropy decoding of the scan with random recovery: the block decoder and
// the scan loop that places each block in the coefficient storage.
#pragma once

#include <cstdint>
#include <random>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

// One block into `block` (64 entries, natural order), damage answered with
// draws from `rng`. False when decoding must stop: a frame that is not
// baseline, or a DC length above 11.
bool decode_block(const DecoderState& state, StreamCursor& cursor, std::int32_t* block, std::int32_t& predictor,
                  const HuffmanTable& dc_table, const HuffmanTable& ac_table, std::mt19937& rng,
                  MessageWriter& messages);
// Every MCU of the scan, from the cursor on the first byte of entropy-coded
// data.
void decode_scan(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages);

}  // namespace shardcast
