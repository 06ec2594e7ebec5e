// Entropy decoding of the scan into the coefficient storage, with random
// recovery: the rules and scan order of entropy_rules.h over the bit-by-bit
// reader of bit_reader.h. This straightforward form is the reference that
// the fast path (fast_entropy.cpp) is compared with.
//
// Tolerates anything in the scan data: a code that matches nothing, a bit
// field cut short by the end of the data or by a foreign marker, a length a
// baseline stream cannot have, a zero run past the end of the block. Each is
// reported with one line and answered with a value drawn from the recovery
// engine, so the damage smears instead of stopping the frame. It never
// resynchronises and never zeroes a damaged block. It refuses only two
// things: a frame that is not baseline (nothing is decoded) and a DC length
// above 11 (decoding stops at that block). Reads never leave the stream and
// writes never leave the coefficient storage.
#include "decoder/entropy.h"

#include "decoder/bit_reader.h"
#include "decoder/entropy_rules.h"

namespace shardcast {
namespace {

// The bit reader as the rules' source of bits.
struct CursorBits {
  using Table = HuffmanTable;
  StreamCursor& cursor;
  MessageWriter& messages;

  std::uint32_t read_symbol(const HuffmanTable& table) { return read_huffman_symbol(cursor, table, messages); }
  std::int32_t read_bits(std::uint32_t count) { return shardcast::read_bits(cursor, count, messages); }
};

}  // namespace

bool decode_block(const DecoderState& state, StreamCursor& cursor, std::int32_t* block, std::int32_t& predictor,
                  const HuffmanTable& dc_table, const HuffmanTable& ac_table, std::mt19937& rng,
                  MessageWriter& messages) {
  CursorBits bits{cursor, messages};
  return decode_block_from(bits, state.frame_marker, dc_table, ac_table, block, predictor, {rng, messages});
}

void decode_scan(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages) {
  const ScanLayout layout(state);
  if (state.coefficients == nullptr || layout.empty()) {
    return;
  }
  ScanPosition position;
  decode_mcus(
      state, layout, position, state.block_rows, [&cursor] { cursor.next_bit = 0; },
      [&](std::uint32_t row, std::uint32_t col, std::uint32_t plane, std::int32_t& predictor) {
        const ComponentSpec& component = state.components[plane];
        return decode_block(state, cursor, state.cell(row, col).plane[plane], predictor,
                            state.dc_tables[component.dc_table_id & 3], state.ac_tables[component.ac_table_id & 3], rng,
                            messages);
      });
}

}  // namespace shardcast
