// The table segments: DQT (quantisation tables, 8 or 16 bits, stored in
// natural order) and DHT (Huffman tables with their canonical codes). A
// segment may carry several tables, and a later definition of a table
// replaces an earlier one.
//
// Refuses a table id above 3, more than 176 symbols in a Huffman table, and
// a segment whose tables do not fill its length exactly.
#include <cstddef>
#include <cstdint>

#include "decoder/header_reader.h"
#include "decoder/markers.h"

namespace shardcast {
namespace {

// One table of a DHT or DQT segment, read after its table byte: the table
// id, the byte's high nibble (class or precision), and the bytes the table
// used, its table byte included. False when the parsing is to end.
using TableReader = bool (*)(HeaderReader& in, std::uint8_t id, std::uint8_t high_nibble, std::int32_t& used);

bool read_huffman_table(HeaderReader& in, std::uint8_t id, std::uint8_t table_class, std::int32_t& used) {
  HuffmanTable& table = table_class == 0 ? in.state.dc_tables[id] : in.state.ac_tables[id];
  table.defined = true;
  table.offsets[0] = 0;

  // The offsets may wrap while the counts are read; the total decides
  // before any of them is used.
  std::uint32_t total = 0;
  for (int bit_length = 1; bit_length <= 16; ++bit_length) {
    std::uint8_t count = 0;
    if (!in.byte(count)) {
      return false;
    }
    table.offsets[bit_length] = static_cast<std::uint8_t>(table.offsets[bit_length - 1] + count);
    total += count;
  }
  if (total > max_huffman_symbols) {
    in.fail(Message::TooManyHuffmanSymbols, total);
    return false;
  }
  for (std::uint32_t i = 0; i < total; ++i) {
    if (!in.byte(table.symbols[i])) {
      return false;
    }
  }
  derive_codes(table);
  used = static_cast<std::int32_t>(17 + total);
  return true;
}

bool read_quant_table(HeaderReader& in, std::uint8_t id, std::uint8_t precision, std::int32_t& used) {
  QuantTable& table = in.state.quant_tables[id];
  table.defined = true;
  const bool wide = precision != 0;
  for (std::size_t k = 0; k < 64; ++k) {
    std::uint16_t value = 0;
    if (wide) {
      if (!in.word(value)) {
        return false;
      }
    } else {
      std::uint8_t narrow = 0;
      if (!in.byte(narrow)) {
        return false;
      }
      value = narrow;
    }
    table.values[zigzag_order[k]] = value;
  }
  used = wide ? 129 : 65;
  return true;
}

// The loop DHT and DQT segments share: the length, then tables until it is
// used up, each opening with a byte whose low nibble is the table id (0-3).
// Ends with `invalid` when the tables do not fill the length exactly.
void parse_table_segment(HeaderReader& in, Message invalid_id, Message invalid, TableReader read_table) {
  std::uint16_t length = 0;
  if (!in.word(length)) {
    return;
  }
  std::int32_t remaining = std::int32_t{length} - 2;
  while (remaining > 0) {
    std::uint8_t table_byte = 0;
    if (!in.byte(table_byte)) {
      return;
    }
    const std::uint8_t id = table_byte & 0x0F;
    if (id > 3) {
      in.fail(invalid_id, id);
      return;
    }
    std::int32_t used = 0;
    if (!read_table(in, id, static_cast<std::uint8_t>(table_byte >> 4), used)) {
      return;
    }
    remaining -= used;
  }
  if (remaining != 0) {
    in.fail(invalid);
  }
}

}  // namespace

void parse_dht(HeaderReader& in) {
  in.messages.line(Message::ReadingDht);
  parse_table_segment(in, Message::InvalidHuffmanTableId, Message::DhtInvalid, read_huffman_table);
}

void parse_dqt(HeaderReader& in) {
  in.messages.line(Message::ReadingDqt);
  parse_table_segment(in, Message::InvalidQuantTableId, Message::DqtInvalid, read_quant_table);
}

void derive_codes(HuffmanTable& table) {
  std::uint32_t code = 0;
  for (std::size_t bit_length = 1; bit_length <= 16; ++bit_length) {
    for (std::uint32_t i = table.offsets[bit_length - 1]; i < table.offsets[bit_length] && i < max_huffman_symbols;
         ++i) {
      table.codes[i] = code;
      code += 1;
    }
    code <<= 1;
  }
}

}  // namespace shardcast
