// Entropy decoding of the scan into the coefficient storage, with random
// recovery.
//
// Tolerates anything in the scan data: a code that matches nothing, a bit
// field cut short by the end of the data or by a foreign marker, a length a
// baseline stream cannot have, a zero run past the end of the block. Each is
// reported with one line and answered with a value drawn from the recovery
// engine, so the damage smears instead of stopping the frame. It never
// resynchronises and never zeroes a damaged block. It refuses only two things: a frame that
// is not baseline (nothing is decoded) and a DC length above 11 (decoding
// stops at that block). Reads never leave the stream and writes never leave
// the coefficient storage.
#include "decoder/entropy.h"

#include <algorithm>

#include "decoder/bit_reader.h"
#include "decoder/numeric.h"
#include "decoder/random_draw.h"

namespace shardcast {
namespace {

// The EXTEND procedure: v read with length s stands for a negative value
// when its top bit is clear. Replacement values outside what s can express
// pass through it unchanged or shifted, just like read ones.
std::int32_t extend(std::int32_t value, std::uint32_t size) {
  if (size == 0 || value >= (std::int32_t{1} << (size - 1))) {
    return value;
  }
  return value + 1 - (std::int32_t{1} << size);
}

}  // namespace

bool decode_block(const DecoderState& state, StreamCursor& cursor, std::int32_t* block, std::int32_t& predictor,
                  const HuffmanTable& dc_table, const HuffmanTable& ac_table, std::mt19937& rng,
                  MessageWriter& messages) {
  if (state.frame_marker != baseline_frame) {
    return false;
  }

  std::uint32_t dc_length = read_huffman_symbol(cursor, dc_table, messages);
  if (dc_length == no_symbol) {
    messages.line(Message::InvalidDcValue);
    dc_length = static_cast<std::uint32_t>(random_in_range(recovery_range, rng));
  }
  if (dc_length > 11) {
    // No replacement reaches this: only a table that defines such lengths.
    messages.line(Message::DcLengthAbove11);
    return false;
  }
  std::int32_t dc_bits = read_bits(cursor, dc_length, messages);
  if (dc_bits < 0) {
    messages.line(Message::InvalidDcValue);
    dc_bits = random_in_range(recovery_range, rng);
  }
  predictor = wrapping_add(predictor, extend(dc_bits, dc_length));
  block[0] = predictor;

  std::uint32_t k = 1;
  while (k < 64) {
    std::uint32_t symbol = read_huffman_symbol(cursor, ac_table, messages);
    if (symbol == no_symbol) {
      // A replacement is a run of 0 with a size of 1-10, never an end of block.
      messages.line(Message::InvalidAcValue);
      symbol = static_cast<std::uint32_t>(random_in_range(recovery_range, rng));
    }
    if (symbol == 0x00) {
      break;
    }
    const std::uint32_t run = symbol >> 4;
    std::uint32_t size = symbol & 0x0F;
    if (k + run > 63) {
      messages.line(Message::ZeroRunExceeded);
      k = 63;
    } else {
      k += run;
    }
    if (size > 10) {
      messages.line(Message::AcLengthAbove10);
      size = static_cast<std::uint32_t>(random_in_range(recovery_range, rng));
    }
    std::int32_t bits = read_bits(cursor, size, messages);
    if (bits < 0) {
      messages.line(Message::InvalidAcValue);
      bits = random_in_range(ac_bits_range, rng);
    }
    block[zigzag_order[k]] = extend(bits, size);
    ++k;
  }
  return true;
}

void decode_scan(StreamCursor& cursor, DecoderState& state, std::mt19937& rng, MessageWriter& messages) {
  if (state.coefficients == nullptr) {
    return;
  }
  const bool interleaved = !(state.scan_component_count == 1 && state.components[0].in_scan);
  const std::uint32_t step_rows = interleaved ? state.mcu_v_blocks : 1;
  const std::uint32_t step_cols = interleaved ? state.mcu_h_blocks : 1;
  if (step_rows == 0 || step_cols == 0) {
    return;
  }
  const std::uint32_t planes = std::min<std::uint32_t>(state.component_count, 3);

  std::int32_t dc_predictors[3] = {0, 0, 0};
  std::uint32_t mcu = 0;
  for (std::uint32_t mcu_row = 0; mcu_row < state.block_rows; mcu_row += step_rows) {
    for (std::uint32_t mcu_col = 0; mcu_col < state.block_cols; mcu_col += step_cols, ++mcu) {
      if (state.restart_interval != 0 && mcu % state.restart_interval == 0) {
        dc_predictors[0] = dc_predictors[1] = dc_predictors[2] = 0;
        cursor.next_bit = 0;
      }
      for (std::uint32_t i = 0; i < planes; ++i) {
        const ComponentSpec& component = state.components[i];
        if (!component.in_scan) {
          continue;
        }
        const std::uint32_t rows = interleaved ? component.v_factor : 1;
        const std::uint32_t cols = interleaved ? component.h_factor : 1;
        const HuffmanTable& dc_table = state.dc_tables[component.dc_table_id & 3];
        const HuffmanTable& ac_table = state.ac_tables[component.ac_table_id & 3];
        for (std::uint32_t v = 0; v < rows; ++v) {
          for (std::uint32_t h = 0; h < cols; ++h) {
            const std::uint32_t row = mcu_row + v;
            const std::uint32_t col = mcu_col + h;
            // Every sampling the header accepts stays inside the padded
            // storage; anything else stops here rather than write past it.
            if (row >= state.padded_block_rows || col >= state.padded_block_cols) {
              return;
            }
            std::int32_t* block = state.cell(row, col).plane[i];
            if (!decode_block(state, cursor, block, dc_predictors[i], dc_table, ac_table, rng, messages)) {
              return;
            }
          }
        }
      }
    }
  }
}

}  // namespace shardcast
