// The fast path's Huffman decoding: what the linear search of
// read_huffman_symbol (bit_reader.h) finds for a table, in a form that takes
// one look-up for codes of up to huffman_lookup_bits bits and one comparison
// per length for longer ones. It answers what the search answers, for
// damaged, duplicate or overfull tables too: the shortest length first, and
// the first matching entry within a length.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/bit_buffer.h"
#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

namespace shardcast {

inline constexpr int huffman_lookup_bits = 11;

struct HuffmanLookup {
  const HuffmanTable* table = nullptr;
  // Indexed by the next huffman_lookup_bits bits: the symbol in the low byte
  // and the matching code's length in the high byte; 0 when no code of at
  // most huffman_lookup_bits bits matches.
  std::array<std::uint16_t, 1u << huffman_lookup_bits> entries;  // filled by build_huffman_lookup
  // Per length L, the table's entries first[L] up to end[L] - 1 (bounded as
  // the search bounds them); their codes are first_code[L], first_code[L] + 1,
  // ... when `consecutive`, which derive_codes always makes them.
  std::array<std::uint8_t, 17> first{};
  std::array<std::uint8_t, 17> end{};
  std::array<std::uint32_t, 17> first_code{};
  bool consecutive = true;
};

void build_huffman_lookup(const HuffmanTable& table, HuffmanLookup& lookup);

// The symbol a lookup gives for the buffer's next bits, consuming them, or
// no_symbol after consuming 16; the buffer must hold at least 16 bits.
[[gnu::always_inline]] inline std::uint32_t lookup_symbol(FastBitReader& bits, const HuffmanLookup& lookup) {
  const std::uint16_t entry = lookup.entries[bits.peek(huffman_lookup_bits)];
  const std::uint32_t length = entry >> 8;
  if (length != 0) {
    bits.consume(length);
    return entry & 0xFF;
  }
  const HuffmanTable& table = *lookup.table;
  for (std::uint32_t bit_length = huffman_lookup_bits + 1; bit_length <= 16; ++bit_length) {
    const std::uint32_t code = bits.peek(bit_length);
    if (lookup.consecutive) {
      const std::uint32_t offset = code - lookup.first_code[bit_length];
      if (offset < static_cast<std::uint32_t>(lookup.end[bit_length] - lookup.first[bit_length])) {
        bits.consume(bit_length);
        return table.symbols[lookup.first[bit_length] + offset];
      }
    } else {
      for (int i = lookup.first[bit_length]; i < lookup.end[bit_length]; ++i) {
        if (table.codes[i] == code) {
          bits.consume(bit_length);
          return table.symbols[i];
        }
      }
    }
  }
  bits.consume(16);
  return no_symbol;
}

}  // namespace shardcast
