// The entropy decoding's fast path: a bit buffer filled a word at a time and
// a lookup table per Huffman table, with the bit-by-bit reader of entropy.h
// as the fallback wherever the buffer cannot be sure of the next bits.
//
// It gives exactly what the bit-by-bit decoding gives, bit for bit, line for
// line and draw for draw: the lookup answers what the linear search answers
// (the shortest length first, the first matching entry within a length, for
// damaged, duplicate or overfull tables too), and the buffer only ever holds
// bytes that are plain data. A 0xFF byte ahead, the end of the data, a
// restart boundary or a code longer than the buffer holds sends that one
// read to the bit-by-bit reader (bit_reader.h), with the cursor exactly where
// it would stand, so that reader stays the one place that meets markers and
// writes their lines.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

inline constexpr int huffman_lookup_bits = 11;

// What the linear search of read_huffman_symbol finds for a table, in a form
// that takes one look-up for codes of up to huffman_lookup_bits bits and
// one comparison per length for longer ones.
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

// A window of up to 64 bits of the entropy-coded data, most significant bit
// first, standing in for the cursor between take_over and hand_back. It only
// ever loads bytes that are not 0xFF, so every byte in it is plain data;
// bits below `count` are zero.
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

  std::uint32_t peek(std::uint32_t bits) const { return static_cast<std::uint32_t>(buffer >> (64 - bits)); }
  void consume(std::uint32_t bits) {
    buffer <<= bits;
    count -= bits;
  }
};

// Where decoded blocks go: block cell (row, col) of the frame is
// cells[(row - first_row) * stride + col]. The driver passes one band of
// MCU rows at a time, tests and fuzzing the whole storage.
struct CellWindow {
  BlockCell* cells = nullptr;
  std::uint32_t first_row = 0;
  std::uint32_t row_end = 0;  // rows first_row up to row_end - 1 are present
  std::uint32_t stride = 0;

  BlockCell& cell(std::uint32_t row, std::uint32_t col) const {
    return cells[static_cast<std::size_t>(row - first_row) * stride + col];
  }
};

// decode_scan in pieces: the same MCUs in the same order, the same lines,
// draws and cursor movements, but a band of rows at a time so that the
// reconstruction can follow while the blocks are in cache.
class ScanDecoder {
 public:
  ScanDecoder(const DecoderState& state, StreamCursor& cursor, std::mt19937& rng, MessageWriter& messages);

  // Decodes every MCU of the scan whose first block row lies before
  // window.row_end, into the window; the scan's MCUs are visited in order,
  // so each call takes up where the last one stopped.
  void decode_rows(const CellWindow& window);
  // True once the scan has ended, completely or at a block that failed.
  bool finished() const { return stopped_; }
  // Hands the bit position back to the cursor; the scan is finished after it.
  void finish();

 private:
  std::uint32_t read_symbol(const HuffmanLookup& lookup);
  std::int32_t read_bits(std::uint32_t count);
  std::uint32_t read_symbol_slowly(const HuffmanLookup& lookup);
  std::int32_t read_bits_slowly(std::uint32_t count);
  bool data_exhausted() const;
  void decode_block_without_data(std::int32_t* block, std::int32_t& predictor);
  bool decode_block(std::int32_t* block, std::int32_t& predictor, const HuffmanLookup& dc, const HuffmanLookup& ac);
  void restart();
  void refill(FastBitReader& bits);

  const DecoderState& state_;
  StreamCursor& cursor_;
  std::mt19937& rng_;
  MessageWriter& messages_;
  FastBitReader bits_;
  bool stopped_ = false;
  bool interleaved_ = true;
  std::uint32_t step_rows_ = 0;
  std::uint32_t step_cols_ = 0;
  std::uint32_t planes_ = 0;
  std::uint32_t mcu_row_ = 0;
  std::uint32_t mcu_col_ = 0;
  std::uint32_t mcu_ = 0;
  std::int32_t predictors_[3] = {0, 0, 0};
  std::array<HuffmanLookup, 6> lookups_;  // built only for the tables in use
  const HuffmanLookup* dc_lookups_[3] = {};
  const HuffmanLookup* ac_lookups_[3] = {};
};

// decode_scan through the fast path, into the whole coefficient storage.
void decode_scan_fast(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages);

}  // namespace shardcast
