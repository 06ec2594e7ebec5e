// The fast path's bit buffer (bit_buffer.h): taking the cursor over, with
// its half-consumed byte as the buffer's first bits, and handing it back
// from the count of bits consumed since. Loads stop before a 0xFF byte and
// at the end of the data; nothing here reads past `size`.
#include "decoder/bit_buffer.h"

#include <algorithm>

namespace shardcast {

void FastBitReader::take_over(const StreamCursor& cursor) {
  data = cursor.data;
  size = cursor.size;
  position = std::min(cursor.position, cursor.size);
  start_position = position;
  start_byte = cursor.current_byte;
  start_next_bit = cursor.next_bit & 7;
  if (start_next_bit != 0) {
    seed_bits = 8u - start_next_bit;
    buffer = std::uint64_t{start_byte} << (56 + start_next_bit);
  } else {
    seed_bits = 0;
    buffer = 0;
  }
  count = seed_bits;
  refill();
}

void FastBitReader::hand_back(StreamCursor& cursor) const {
  const std::uint32_t loaded = seed_bits + 8u * (position - start_position);
  const std::uint32_t consumed = loaded - count;
  if (consumed == 0) {
    return;
  }
  if (consumed < seed_bits) {
    cursor.position = start_position;
    cursor.current_byte = start_byte;
    cursor.next_bit = static_cast<std::uint8_t>(start_next_bit + consumed);
    return;
  }
  const std::uint32_t from_data = consumed - seed_bits;
  const std::uint32_t byte = start_position + from_data / 8;
  const std::uint32_t bit = from_data % 8;
  if (bit != 0) {
    cursor.position = byte + 1;
    cursor.current_byte = data[byte];
    cursor.next_bit = static_cast<std::uint8_t>(bit);
    return;
  }
  cursor.position = byte;
  cursor.next_bit = 0;
  cursor.current_byte = from_data == 0 ? start_byte : data[byte - 1];
}

void FastBitReader::refill_bytewise() {
  // A 0xFF byte or the end is near: one byte at a time, up to either.
  while (count <= 56 && position < size && data[position] != 0xFF) {
    buffer |= std::uint64_t{data[position]} << (56 - count);
    count += 8;
    ++position;
  }
}

}  // namespace shardcast
