// The fast path's bit buffer: a window of up to 64 bits of the entropy-coded
// data, filled a word at a time, that stands in for the StreamCursor while
// the fast scan reads and hands the cursor back exactly where the bit-by-bit
// reader (bit_reader.h) would have left it after reading the same bits.
//
// It only ever loads bytes that are plain data: a 0xFF byte (stuffing, fill,
// a marker) and the end of the data stop a refill, so those are always met
// by the bit-by-bit reader, which alone writes their lines.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/decoder_state.h"

namespace shardcast {

inline std::uint64_t load_big_endian(const std::uint8_t* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap64(word);
}

// True when one of the word's eight bytes is 0xFF.
inline bool has_ff_byte(std::uint64_t word) {
  const std::uint64_t inverted = ~word;
  return ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
}

// Most significant bit first; bits below `count` are zero.
struct FastBitReader {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t position = 0;  // next byte to load
  std::uint64_t buffer = 0;
  std::uint32_t count = 0;  // valid bits at the top of buffer

  // The cursor as it was at take_over: its half-consumed byte is the first
  // bits of the buffer ("seed"), and loading went on at start_position.
  std::uint32_t start_position = 0;
  std::uint8_t start_byte = 0;
  std::uint8_t start_next_bit = 0;
  std::uint32_t seed_bits = 0;

  void take_over(const StreamCursor& cursor);
  // Leaves the cursor as the bit-by-bit reader would have left it after
  // reading the same bits.
  void hand_back(StreamCursor& cursor) const;
  // Loads whole bytes until the buffer holds more than 56 bits, a 0xFF byte
  // is next or the data ends.
  void refill() {
    if (!refill_from_word()) {
      refill_bytewise();
    }
  }
  // refill's common case, one load of eight bytes; false, having loaded
  // nothing, when a 0xFF byte or the end lies among them.
  [[gnu::always_inline]] bool refill_from_word() {
    if (count > 56) {
      return true;
    }
    if (size - position < 8) {
      return false;
    }
    const std::uint64_t word = load_big_endian(data + position);
    if (has_ff_byte(word)) {
      return false;
    }
    const std::uint32_t bytes = (64 - count) / 8;
    buffer |= (word >> (64 - 8 * bytes)) << (64 - count - 8 * bytes);
    count += 8 * bytes;
    position += bytes;
    return true;
  }
  void refill_bytewise();
  // Once the data has ended and every bit of it is read, the bit-by-bit
  // reader fails at its first fetch without a line and without moving the
  // cursor.
  bool exhausted() const { return count == 0 && position >= size; }

  std::uint32_t peek(std::uint32_t bits) const { return static_cast<std::uint32_t>(buffer >> (64 - bits)); }
  void consume(std::uint32_t bits) {
    buffer <<= bits;
    count -= bits;
  }
};

}  // namespace shardcast
