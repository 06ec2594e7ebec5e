// Entropy decoding of the scan with random recovery, and the ranged draw.
#pragma once

#include <cstdint>
#include <random>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {

struct DrawRange {
  std::int32_t low;
  std::int32_t high;
};

inline constexpr DrawRange recovery_range{1, 10};
inline constexpr DrawRange ac_bits_range{0, 254};
inline constexpr DrawRange table_index_range{0, 63};

// One uniform integer of the closed range, by multiply-and-reject.
std::int32_t random_in_range(DrawRange range, std::mt19937& engine);
// One step of that mapping: false when the draw is rejected, otherwise true
// with the draw's integer in result.
bool map_draw(DrawRange range, std::uint32_t draw, std::int32_t& result);

inline constexpr std::uint8_t no_symbol = 0xFF;

// Bit-level reads over the cursor. A marker other than RST0-RST7 met in the
// data is reported through messages.
std::uint8_t read_huffman_symbol(StreamCursor& cursor, const HuffmanTable& table, MessageWriter& messages);
std::int32_t read_bits(StreamCursor& cursor, std::uint32_t count, MessageWriter& messages);

bool decode_block(const DecoderState& state, StreamCursor& cursor, std::int32_t* block,
                  std::int32_t& predictor, const HuffmanTable& dc_table,
                  const HuffmanTable& ac_table, GlitchSettings& settings, MessageWriter& messages);
void decode_scan(StreamCursor& cursor, DecoderState& state, GlitchSettings& settings,
                 MessageWriter& messages);

}  // namespace shardcast
