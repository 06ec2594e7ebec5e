// The records every step of the decoder shares: the StreamCursor over the
// JPEG bytes, the DecoderState with its tables and frame and scan headers,
// the coefficient storage (one BlockCell of three 8x8 planes per block), and
// the zig-zag table. The decode driver owns one of each for a single call.
#pragma once

#include <array>
#include <cstdint>

namespace shardcast {

// Entry k is the natural (row * 8 + column) index of the k-th coefficient in
// zig-zag order.
inline constexpr std::array<std::uint8_t, 64> zigzag_order = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18,
                                                              11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                                                              13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43,
                                                              36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
                                                              38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The start-of-frame codes the header accepts; only baseline frames have
// their blocks decoded.
inline constexpr std::uint8_t baseline_frame = 0xC0;
inline constexpr std::uint8_t progressive_frame = 0xC2;

struct StreamCursor {
  std::uint8_t current_byte = 0;  // the byte the bit reader is consuming
  std::uint8_t next_bit = 0;      // 0-7, most significant first; 0 fetches anew
  const std::uint8_t* data = nullptr;
  std::uint32_t position = 0;  // next unread byte
  std::uint32_t size = 0;

  std::uint32_t remaining() const { return position < size ? size - position : 0; }

  // Byte-level read: drops any half-consumed bit byte. The caller checks
  // remaining() first; past the end this returns 0 and does not move.
  std::uint8_t read_byte() {
    next_bit = 0;
    if (position >= size) {
      return 0;
    }
    return data[position++];
  }
};

struct QuantTable {
  std::array<std::uint32_t, 64> values{};  // natural order
  bool defined = false;
};

inline constexpr int max_huffman_symbols = 176;

struct HuffmanTable {
  std::array<std::uint8_t, 17> offsets{};  // offsets[L]: codes of length <= L
  std::array<std::uint8_t, max_huffman_symbols> symbols{};
  std::array<std::uint32_t, max_huffman_symbols> codes{};
  bool defined = false;
};

struct ComponentSpec {
  std::uint8_t h_factor = 0;
  std::uint8_t v_factor = 0;
  std::uint8_t quant_id = 0;
  std::uint8_t dc_table_id = 0;
  std::uint8_t ac_table_id = 0;
  bool in_frame = false;
  bool in_scan = false;
};

// Three planes of 64 coefficients or samples, natural order within a plane:
// plane 0 is component 1 (luma, later red), planes 1 and 2 components 2 and 3.
struct BlockCell {
  std::int32_t plane[3][64];
};
static_assert(sizeof(BlockCell) == 768);

struct DecoderState {
  std::array<QuantTable, 4> quant_tables{};
  std::array<HuffmanTable, 4> dc_tables{};
  std::array<HuffmanTable, 4> ac_tables{};
  std::array<ComponentSpec, 3> components{};
  std::uint8_t frame_marker = 0;  // baseline_frame or progressive_frame; 0 before any
  std::uint32_t height = 0;
  std::uint32_t width = 0;
  std::uint8_t component_count = 0;
  bool ids_from_zero = false;
  std::uint8_t scan_component_count = 0;
  std::uint8_t spectral_start = 0;
  std::uint8_t spectral_end = 0;
  std::uint8_t approx_high = 0;
  std::uint8_t approx_low = 0;
  std::uint32_t restart_interval = 0;
  BlockCell* coefficients = nullptr;  // owned by the decode driver's storage
  bool valid = true;
  std::uint32_t block_rows = 0;
  std::uint32_t block_cols = 0;
  std::uint32_t padded_block_rows = 0;
  std::uint32_t padded_block_cols = 0;
  std::uint8_t mcu_h_blocks = 0;
  std::uint8_t mcu_v_blocks = 0;

  BlockCell& cell(std::uint32_t block_row, std::uint32_t block_col) {
    return coefficients[block_row * padded_block_cols + block_col];
  }
};

}  // namespace shardcast
