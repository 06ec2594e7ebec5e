// Bit-level reads of the entropy-coded data over the StreamCursor: bits,
// most significant first, with byte stuffing undone, and Huffman symbols.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

// What read_huffman_symbol gives when no code matches or the data ran out.
inline constexpr std::uint8_t no_symbol = 0xFF;

// `count` bits as an unsigned number, or -1 when the data ran out or a
// marker other than RST0-RST7 stood in the way (reported through messages).
std::int32_t read_bits(StreamCursor& cursor, std::uint32_t count, MessageWriter& messages);
// The symbol whose canonical code the next 1-16 bits spell, or no_symbol.
std::uint8_t read_huffman_symbol(StreamCursor& cursor, const HuffmanTable& table, MessageWriter& messages);

}  // namespace shardcast
