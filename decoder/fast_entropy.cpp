// The entropy decoding's fast path (see fast_entropy.h): the block decoder
// and scan order of entropy_rules.h, reading through a bit buffer and
// Huffman lookup tables instead of one bit at a time.
//
// Tolerates exactly what the bit-by-bit decoding tolerates, because every
// read the buffer cannot answer with certainty is handed to that decoding:
// 0xFF bytes (stuffing, fill, restart and other markers), the end of the
// data, codes whose bits are not all in the buffer yet. The recovery lines
// and draws are those of the shared rules. Reads never leave the stream;
// writes never leave the cells the caller passes.
#include "decoder/fast_entropy.h"

#include "decoder/bit_reader.h"

namespace shardcast {
namespace {

// A symbol and its value bits: at most 16 + 11 bits.
constexpr std::uint32_t longest_read = 27;

// The bits of a block once the data has ended and every bit of it is read:
// the bit-by-bit reader would fail every read without a line and without
// moving the cursor, so the answer is known without handing over.
struct NoBits {
  using Table = HuffmanLookup;
  static std::uint32_t read_symbol(const HuffmanLookup&) { return no_symbol; }
  static std::int32_t read_bits(std::uint32_t count) { return count == 0 ? 0 : -1; }
};

}  // namespace

// The bits of one block: a copy of the scan's buffer that never leaves
// decode_block, so that the compiler can keep it in registers (a block's
// int32 stores could otherwise stand for its count). While it holds a whole
// symbol and its bits (longest_read), both are taken from it directly;
// otherwise the read goes through the scan's own buffer, which may hand over
// to the bit-by-bit reader.
struct ScanDecoder::BlockBits {
  using Table = HuffmanLookup;
  FastBitReader buffer;
  ScanDecoder& scan;

  // `step` on the scan's own buffer, from where this copy stands, and the
  // copy on from where it leaves that buffer.
  template <class Step>
  auto through_scan(Step step) {
    scan.bits_ = buffer;
    const auto result = step();
    // The data and its size stay the same for the whole scan; leaving them
    // out of the copy back keeps the compiler from carrying the pair through
    // vector registers in the block's loop.
    const std::uint8_t* data = buffer.data;
    const std::uint32_t size = buffer.size;
    buffer = scan.bits_;
    buffer.data = data;
    buffer.size = size;
    return result;
  }

  // True, with the symbol, when the buffer holds a whole symbol and its
  // value bits.
  [[gnu::always_inline]] bool read_whole_symbol(const HuffmanLookup& lookup, std::uint32_t& symbol) {
    if (buffer.count < longest_read && !buffer.refill_from_word()) {
      through_scan([this] {
        scan.bits_.refill_bytewise();
        return true;
      });
    }
    if (buffer.count < longest_read) [[unlikely]] {
      return false;
    }
    symbol = lookup_symbol(buffer, lookup);
    return true;
  }

  [[gnu::always_inline]] std::int32_t take_bits(std::uint32_t count) {
    const auto value = static_cast<std::int32_t>(buffer.peek(count));
    buffer.consume(count);
    return value;
  }

  [[gnu::always_inline]] std::uint32_t read_symbol(const HuffmanLookup& lookup) {
    std::uint32_t symbol = 0;
    if (read_whole_symbol(lookup, symbol)) [[likely]] {
      return symbol;
    }
    return through_scan([&] { return scan.read_symbol(lookup); });
  }

  [[gnu::always_inline]] std::int32_t read_bits(std::uint32_t count) {
    if (count == 0) {
      return 0;
    }
    if (buffer.count >= count) [[likely]] {
      return take_bits(count);
    }
    return through_scan([&] { return scan.read_bits(count); });
  }
};

ScanDecoder::ScanDecoder(const DecoderState& state, StreamCursor& cursor, std::mt19937& rng, MessageWriter& messages)
    : state_(state), cursor_(cursor), rng_(rng), messages_(messages), layout_(state) {
  if (layout_.empty()) {
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
  for (std::uint32_t i = 0; i < layout_.planes; ++i) {
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

// The unread bits of the byte in hand are dropped at a restart boundary.
void ScanDecoder::restart() {
  bits_.hand_back(cursor_);
  cursor_.next_bit = 0;
  bits_.take_over(cursor_);
}

std::uint32_t ScanDecoder::read_symbol_slowly(const HuffmanLookup& lookup) {
  if (bits_.exhausted()) {
    return no_symbol;
  }
  bits_.hand_back(cursor_);
  const std::uint32_t symbol = read_huffman_symbol(cursor_, *lookup.table, messages_);
  bits_.take_over(cursor_);
  return symbol;
}

std::int32_t ScanDecoder::read_bits_slowly(std::uint32_t count) {
  if (bits_.exhausted()) {
    return -1;
  }
  bits_.hand_back(cursor_);
  const std::int32_t value = shardcast::read_bits(cursor_, count, messages_);
  bits_.take_over(cursor_);
  return value;
}

std::uint32_t ScanDecoder::read_symbol(const HuffmanLookup& lookup) {
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

std::int32_t ScanDecoder::read_bits(std::uint32_t count) {
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

bool ScanDecoder::decode_block(std::int32_t* block, std::int32_t& predictor, const HuffmanLookup& dc,
                               const HuffmanLookup& ac) {
  const Recovery recovery{rng_, messages_};
  if (bits_.exhausted()) {
    NoBits none;
    return decode_block_from(none, state_.frame_marker, dc, ac, block, predictor, recovery);
  }
  BlockBits bits{bits_, *this};
  const bool decoded = decode_block_from(bits, state_.frame_marker, dc, ac, block, predictor, recovery);
  bits_ = bits.buffer;
  return decoded;
}

void ScanDecoder::decode_rows(const CellWindow& window) {
  if (stopped_) {
    return;
  }
  const auto decode = [&](std::uint32_t row, std::uint32_t col, std::uint32_t plane, std::int32_t& predictor) {
    // The window's rows hold for every band of MCU rows the driver passes.
    if (row < window.first_row || row >= window.row_end) {
      return false;
    }
    return decode_block(window.cell(row, col).plane[plane], predictor, *dc_lookups_[plane], *ac_lookups_[plane]);
  };
  const bool whole = decode_mcus(
      state_, layout_, position_, window.row_end, [this] { restart(); }, decode);
  if (!whole || position_.mcu_row >= state_.block_rows) {
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
