// Builds the fast path's Huffman lookup (huffman_lookup.h) from a table as
// the header parser left it. Takes any table: offsets are bounded as the
// linear search bounds them, codes with more bits than their length are
// left out (they never match), and a table whose codes are not consecutive
// within a length is searched entry by entry past huffman_lookup_bits.
#include "decoder/huffman_lookup.h"

#include <algorithm>

namespace shardcast {

void build_huffman_lookup(const HuffmanTable& table, HuffmanLookup& lookup) {
  lookup.table = &table;
  lookup.consecutive = true;
  for (int length = 1; length <= 16; ++length) {
    // The same bounds as the linear search.
    const int first = std::min<int>(table.offsets[length - 1], max_huffman_symbols);
    const int end = std::max(first, std::min<int>(table.offsets[length], max_huffman_symbols));
    lookup.first[length] = static_cast<std::uint8_t>(first);
    lookup.end[length] = static_cast<std::uint8_t>(end);
    lookup.first_code[length] = first < end ? table.codes[first] : 0;
    for (int i = first; i < end; ++i) {
      if (table.codes[i] != lookup.first_code[length] + static_cast<std::uint32_t>(i - first)) {
        lookup.consecutive = false;
      }
    }
  }
  // Every code fills the slots of the bit patterns it begins. Longer lengths
  // first and, within a length, later entries first, so that what stays in
  // a slot is what the search finds first: the shortest length, and the
  // first matching entry within it.
  lookup.entries.fill(0);
  for (int length = huffman_lookup_bits; length >= 1; --length) {
    const int spare_bits = huffman_lookup_bits - length;
    for (int i = lookup.end[length]; i-- > lookup.first[length];) {
      const std::uint32_t code = table.codes[i];
      if (code >= (1u << length)) {
        continue;  // more bits than the length: never matches
      }
      const auto entry = static_cast<std::uint16_t>(length << 8 | table.symbols[i]);
      std::fill(lookup.entries.begin() + (code << spare_bits), lookup.entries.begin() + ((code + 1) << spare_bits),
                entry);
    }
  }
}

}  // namespace shardcast
