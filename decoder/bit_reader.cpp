// The bit reader of the entropy-coded data.
//
// Bytes are fetched with byte stuffing (FF 00) undone, fill bytes dropped
// and restart markers skipped; any other marker is reported once and left
// in place, so the read that met it fails and the next one takes the
// marker's code as data. A read never passes the end of the stream; there
// it fails instead. Huffman symbols are matched code length by code length
// against the table's canonical codes.
#include "decoder/bit_reader.h"

#include <algorithm>

namespace shardcast {
namespace {

bool is_restart_marker(std::uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

// Takes the next data byte into current_byte, undoing byte stuffing and
// dropping fill bytes and restart markers. Any other marker is reported and
// left in place: the fetch fails once, and the next fetch reads the marker's
// code as an ordinary data byte.
bool fetch_byte(StreamCursor& cursor, MessageWriter& messages) {
  if (cursor.position >= cursor.size) {
    return false;
  }
  cursor.current_byte = cursor.data[cursor.position++];
  while (cursor.current_byte == 0xFF) {
    while (cursor.position < cursor.size && cursor.data[cursor.position] == 0xFF) {
      ++cursor.position;
    }
    if (cursor.position >= cursor.size) {
      return false;
    }
    const std::uint8_t code = cursor.data[cursor.position];
    if (code == 0x00) {
      ++cursor.position;
      return true;
    }
    if (!is_restart_marker(code)) {
      messages.line(Message::InvalidMarker, code);
      return false;
    }
    // The restart's predictor reset belongs to the scan loop, which counts
    // MCUs; here the marker is simply dropped, whatever its number.
    ++cursor.position;
    if (cursor.position >= cursor.size) {
      return false;
    }
    cursor.current_byte = cursor.data[cursor.position++];
  }
  return true;
}

// 0 or 1, or -1 when no byte could be fetched.
int read_bit(StreamCursor& cursor, MessageWriter& messages) {
  if (cursor.next_bit == 0 && !fetch_byte(cursor, messages)) {
    return -1;
  }
  const int bit = (cursor.current_byte >> (7 - cursor.next_bit)) & 1;
  cursor.next_bit = static_cast<std::uint8_t>((cursor.next_bit + 1) & 7);
  return bit;
}

}  // namespace

std::uint8_t read_huffman_symbol(StreamCursor& cursor, const HuffmanTable& table, MessageWriter& messages) {
  std::uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    const int bit = read_bit(cursor, messages);
    if (bit < 0) {
      return no_symbol;
    }
    code = code * 2 + static_cast<std::uint32_t>(bit);
    // The header parser keeps offsets within the symbol arrays; the bound
    // is repeated here so that no table content can make the search stray.
    const int first = std::min<int>(table.offsets[length - 1], max_huffman_symbols);
    const int end = std::min<int>(table.offsets[length], max_huffman_symbols);
    for (int i = first; i < end; ++i) {
      if (table.codes[i] == code) {
        return table.symbols[i];
      }
    }
  }
  return no_symbol;
}

std::int32_t read_bits(StreamCursor& cursor, std::uint32_t count, MessageWriter& messages) {
  std::int32_t value = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const int bit = read_bit(cursor, messages);
    if (bit < 0) {
      return -1;
    }
    value = value * 2 + bit;
  }
  return value;
}

}  // namespace shardcast
