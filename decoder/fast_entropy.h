// The entropy decoding's fast path: the rules of entropy_rules.h over a bit
// buffer filled a word at a time (bit_buffer.h) and a lookup table per
// Huffman table (huffman_lookup.h), with the bit-by-bit reader of
// bit_reader.h as the fallback wherever the buffer cannot be sure of the
// next bits.
//
// It gives exactly what the bit-by-bit decoding gives, bit for bit, line for
// line and draw for draw. A 0xFF byte ahead, the end of the data, a restart
// boundary or a code longer than the buffer holds sends that one read to the
// bit-by-bit reader, with the cursor exactly where it would stand, so that
// reader stays the one place that meets markers and writes their lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

#include "decoder/bit_buffer.h"
#include "decoder/decoder_state.h"
#include "decoder/entropy_rules.h"
#include "decoder/huffman_lookup.h"
#include "decoder/message_sink.h"

namespace shardcast {

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
  struct BlockBits;

  std::uint32_t read_symbol(const HuffmanLookup& lookup);
  std::int32_t read_bits(std::uint32_t count);
  std::uint32_t read_symbol_slowly(const HuffmanLookup& lookup);
  std::int32_t read_bits_slowly(std::uint32_t count);
  bool decode_block(std::int32_t* block, std::int32_t& predictor, const HuffmanLookup& dc, const HuffmanLookup& ac);
  void restart();

  const DecoderState& state_;
  StreamCursor& cursor_;
  std::mt19937& rng_;
  MessageWriter& messages_;
  FastBitReader bits_;
  bool stopped_ = false;
  ScanLayout layout_;
  ScanPosition position_;
  std::array<HuffmanLookup, 6> lookups_;  // built only for the tables in use
  const HuffmanLookup* dc_lookups_[3] = {};
  const HuffmanLookup* ac_lookups_[3] = {};
};

// decode_scan through the fast path, into the whole coefficient storage.
void decode_scan_fast(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages);

}  // namespace shardcast
