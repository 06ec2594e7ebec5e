// The entropy decoding's fast path (see fast_entropy.h): the scan loop and
// the block decoder of entropy.cpp, step for step, reading through a bit
// buffer and Huffman lookup tables instead of one bit at a time.
//
// Tolerates exactly what the bit-by-bit decoding tolerates, because every
// read the buffer cannot answer with certainty is handed to that decoding:
// 0xFF bytes (stuffing, fill, restart and other markers), the end of the
// data, codes whose bits are not all in the buffer yet. Recovery lines and
// draws are made here in the same places and order as there. Reads never
// leave the stream; writes never leave the cells the caller passes.
#include "decoder/fast_entropy.h"

#include <algorithm>
#include <cstring>

#include "decoder/bit_reader.h"
#include "decoder/numeric.h"
#include "decoder/random_draw.h"

namespace shardcast {
namespace {

// A symbol and its value bits: at most 16 + 11 bits.
constexpr std::uint32_t longest_read = 27;

// The EXTEND procedure, as entropy.cpp applies it: v read with length s
// stands for v + 1 - 2^s when v < 2^(s-1). Written with a mask instead of a
// comparison, because which way it goes is as good as random and a branch
// would be mispredicted half the time; values are below 2^16, so the
// difference cannot overflow.
std::int32_t extend(std::int32_t value, std::uint32_t size) {
  if (size == 0) {
    return value;
  }
  const std::int32_t half = std::int32_t{1} << (size - 1);
  const std::int32_t below_half = (value - half) >> 31;  // -1 when value < half, else 0
  return value + (below_half & (1 - 2 * half));
}

}  // namespace

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

ScanDecoder::ScanDecoder(const DecoderState& state, StreamCursor& cursor, std::mt19937& rng, MessageWriter& messages)
    : state_(state), cursor_(cursor), rng_(rng), messages_(messages) {
  interleaved_ = !(state.scan_component_count == 1 && state.components[0].in_scan);
  step_rows_ = interleaved_ ? state.mcu_v_blocks : 1;
  step_cols_ = interleaved_ ? state.mcu_h_blocks : 1;
  planes_ = std::min<std::uint32_t>(state.component_count, 3);
  if (step_rows_ == 0 || step_cols_ == 0) {
    stopped_ = true;  // nothing taken over, nothing to hand back
    return;
  }
  // One lookup per table the scan uses; components that share a table
  // share its lookup.
  std::uint32_t built = 0;
  const auto lookup_for = [&](const HuffmanTable& table) -> const HuffmanLookup* {
    for (std::uint32_t n = 0; n < built; ++n) {
      if (lookups_[n].table == &table) {
        return &lookups_[n];
      }
    }
    build_huffman_lookup(table, lookups_[built]);
    return &lookups_[built++];
  };
  for (std::uint32_t i = 0; i < planes_; ++i) {
    const ComponentSpec& component = state.components[i];
    if (component.in_scan) {
      dc_lookups_[i] = lookup_for(state.dc_tables[component.dc_table_id & 3]);
      ac_lookups_[i] = lookup_for(state.ac_tables[component.ac_table_id & 3]);
    }
  }
  bits_.take_over(cursor_);
}

void ScanDecoder::finish() {
  if (!stopped_) {
    bits_.hand_back(cursor_);
    stopped_ = true;
  }
}

void ScanDecoder::restart() {
  predictors_[0] = predictors_[1] = predictors_[2] = 0;
  bits_.hand_back(cursor_);
  cursor_.next_bit = 0;
  bits_.take_over(cursor_);
}

// Once the data has ended and every bit of it is read, the bit-by-bit
// reader fails at its first fetch without a line and without moving the
// cursor: the answer is known without handing over.
bool ScanDecoder::data_exhausted() const { return bits_.count == 0 && bits_.position >= bits_.size; }

std::uint32_t ScanDecoder::read_symbol_slowly(const HuffmanLookup& lookup) {
  if (data_exhausted()) {
    return no_symbol;
  }
  bits_.hand_back(cursor_);
  const std::uint32_t symbol = read_huffman_symbol(cursor_, *lookup.table, messages_);
  bits_.take_over(cursor_);
  return symbol;
}

std::int32_t ScanDecoder::read_bits_slowly(std::uint32_t count) {
  if (data_exhausted()) {
    return -1;
  }
  bits_.hand_back(cursor_);
  const std::int32_t value = shardcast::read_bits(cursor_, count, messages_);
  bits_.take_over(cursor_);
  return value;
}

// The symbol a lookup gives for the buffer's next bits, consuming them;
// the buffer must hold at least 16 bits.
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

inline std::uint32_t ScanDecoder::read_symbol(const HuffmanLookup& lookup) {
  if (bits_.count < 16) {
    bits_.refill();
  }
  if (bits_.count >= 16) {
    return lookup_symbol(bits_, lookup);
  }
  // Bits below count are zero, so a short code can be looked up even when
  // fewer than huffman_lookup_bits bits are there: its entry says how many
  // of them it needs.
  const std::uint16_t entry = lookup.entries[bits_.peek(huffman_lookup_bits)];
  const std::uint32_t length = entry >> 8;
  if (length != 0 && length <= bits_.count) {
    bits_.consume(length);
    return entry & 0xFF;
  }
  return read_symbol_slowly(lookup);
}

inline std::int32_t ScanDecoder::read_bits(std::uint32_t count) {
  if (count == 0) {
    return 0;
  }
  if (bits_.count < count) {
    bits_.refill();
    if (bits_.count < count) {
      return read_bits_slowly(count);
    }
  }
  const std::int32_t value = static_cast<std::int32_t>(bits_.peek(count));
  bits_.consume(count);
  return value;
}

// Refills a local copy of the buffer without its address ever leaving this
// function, so that the compiler can keep it in registers: a block's int32
// stores could otherwise stand for its count.
inline void ScanDecoder::refill(FastBitReader& bits) {
  if (bits.refill_from_word()) {
    return;
  }
  bits_ = bits;
  bits_.refill_bytewise();
  bits = bits_;
}

// A block after the end of the data, where every read fails: decode_block's
// recovery path at every step, in the same order (a DC length and bits, then
// 63 symbols of run 0 with their bits), without asking the reader each time.
void ScanDecoder::decode_block_without_data(std::int32_t* block, std::int32_t& predictor) {
  messages_.line(Message::InvalidDcValue);
  const auto dc_length = static_cast<std::uint32_t>(random_in_range(recovery_range, rng_));
  messages_.line(Message::InvalidDcValue);
  const std::int32_t dc_bits = random_in_range(recovery_range, rng_);
  predictor = wrapping_add(predictor, extend(dc_bits, dc_length));
  block[0] = predictor;
  for (std::uint32_t k = 1; k < 64; ++k) {
    messages_.line(Message::InvalidAcValue);
    const auto size = static_cast<std::uint32_t>(random_in_range(recovery_range, rng_));
    messages_.line(Message::InvalidAcValue);
    block[zigzag_order[k]] = extend(random_in_range(ac_bits_range, rng_), size);
  }
}

// decode_block of entropy.cpp, line for line. While the buffer holds a whole
// symbol and its bits (longest_read), both are taken from it directly, in a
// local copy of the buffer that the compiler can keep in registers; otherwise
// each read goes through read_symbol and read_bits, which may hand over to
// the bit-by-bit reader.
bool ScanDecoder::decode_block(std::int32_t* block, std::int32_t& predictor, const HuffmanLookup& dc,
                               const HuffmanLookup& ac) {
  if (state_.frame_marker != baseline_frame) {
    return false;
  }
  if (data_exhausted()) {
    decode_block_without_data(block, predictor);
    return true;
  }
  FastBitReader bits = bits_;
  refill(bits);
  std::uint32_t dc_length;
  std::int32_t dc_bits;
  if (bits.count >= longest_read) {
    dc_length = lookup_symbol(bits, dc);
  } else {
    bits_ = bits;
    dc_length = read_symbol(dc);
    bits = bits_;
  }
  if (dc_length == no_symbol) {
    messages_.line(Message::InvalidDcValue);
    dc_length = static_cast<std::uint32_t>(random_in_range(recovery_range, rng_));
  }
  if (dc_length > 11) {
    messages_.line(Message::DcLengthAbove11);
    bits_ = bits;
    return false;
  }
  if (dc_length == 0) {
    dc_bits = 0;
  } else if (bits.count >= dc_length) {
    dc_bits = static_cast<std::int32_t>(bits.peek(dc_length));
    bits.consume(dc_length);
  } else {
    bits_ = bits;
    dc_bits = read_bits(dc_length);
    bits = bits_;
  }
  if (dc_bits < 0) {
    messages_.line(Message::InvalidDcValue);
    dc_bits = random_in_range(recovery_range, rng_);
  }
  predictor = wrapping_add(predictor, extend(dc_bits, dc_length));
  block[0] = predictor;

  std::uint32_t k = 1;
  while (k < 64) {
    if (bits.count < longest_read) {
      refill(bits);
    }
    std::uint32_t symbol;
    if (bits.count >= longest_read) [[likely]] {
      symbol = lookup_symbol(bits, ac);
      // The common case in one piece: a coefficient of 1-10 bits within the
      // block, its bits in the buffer (the symbol took at most 16 of 27).
      const std::uint32_t run = symbol >> 4;
      const std::uint32_t size = symbol & 0x0F;
      if (size - 1 < 10 && k + run <= 63) [[likely]] {
        k += run;
        const auto value = static_cast<std::int32_t>(bits.peek(size));
        bits.consume(size);
        block[zigzag_order[k]] = extend(value, size);
        ++k;
        continue;
      }
    } else {
      bits_ = bits;
      symbol = read_symbol(ac);
      bits = bits_;
    }
    if (symbol == no_symbol) [[unlikely]] {
      messages_.line(Message::InvalidAcValue);
      symbol = static_cast<std::uint32_t>(random_in_range(recovery_range, rng_));
    }
    if (symbol == 0x00) {
      break;
    }
    const std::uint32_t run = symbol >> 4;
    std::uint32_t size = symbol & 0x0F;
    if (k + run > 63) [[unlikely]] {
      messages_.line(Message::ZeroRunExceeded);
      k = 63;
    } else {
      k += run;
    }
    if (size > 10) [[unlikely]] {
      messages_.line(Message::AcLengthAbove10);
      size = static_cast<std::uint32_t>(random_in_range(recovery_range, rng_));
    }
    std::int32_t value;
    if (size == 0) {
      value = 0;
    } else if (bits.count >= size) {
      value = static_cast<std::int32_t>(bits.peek(size));
      bits.consume(size);
    } else {
      bits_ = bits;
      value = read_bits(size);
      bits = bits_;
    }
    if (value < 0) [[unlikely]] {
      messages_.line(Message::InvalidAcValue);
      value = random_in_range(ac_bits_range, rng_);
    }
    block[zigzag_order[k]] = extend(value, size);
    ++k;
  }
  bits_ = bits;
  return true;
}

void ScanDecoder::decode_rows(const CellWindow& window) {
  while (!stopped_ && mcu_row_ < state_.block_rows && mcu_row_ < window.row_end) {
    for (; mcu_col_ < state_.block_cols; mcu_col_ += step_cols_, ++mcu_) {
      if (state_.restart_interval != 0 && mcu_ % state_.restart_interval == 0) {
        restart();
      }
      for (std::uint32_t i = 0; i < planes_; ++i) {
        const ComponentSpec& component = state_.components[i];
        if (!component.in_scan) {
          continue;
        }
        const std::uint32_t rows = interleaved_ ? component.v_factor : 1;
        const std::uint32_t cols = interleaved_ ? component.h_factor : 1;
        for (std::uint32_t v = 0; v < rows; ++v) {
          for (std::uint32_t h = 0; h < cols; ++h) {
            const std::uint32_t row = mcu_row_ + v;
            const std::uint32_t col = mcu_col_ + h;
            // The padded storage's bound, as the bit-by-bit scan has it; the
            // window's rows hold for every band of MCU rows the driver passes.
            if (row >= state_.padded_block_rows || col >= state_.padded_block_cols || row < window.first_row ||
                row >= window.row_end) {
              finish();
              return;
            }
            std::int32_t* block = window.cell(row, col).plane[i];
            if (!decode_block(block, predictors_[i], *dc_lookups_[i], *ac_lookups_[i])) {
              finish();
              return;
            }
          }
        }
      }
    }
    mcu_col_ = 0;
    mcu_row_ += step_rows_;
  }
  if (mcu_row_ >= state_.block_rows) {
    finish();
  }
}

void decode_scan_fast(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages) {
  if (state.coefficients == nullptr) {
    return;
  }
  ScanDecoder scan(state, cursor, rng, messages);
  scan.decode_rows(CellWindow{state.coefficients, 0, state.padded_block_rows, state.padded_block_cols});
  scan.finish();
}

}  // namespace shardcast
