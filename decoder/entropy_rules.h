// The entropy decoding's decisions, written once over the source of its
// bits: how a block is read and where damage is answered with a draw (the
// recovery rules), and in which order the scan visits MCUs, components and
// blocks, with its restart boundaries. The bit-by-bit decoding (entropy.cpp)
// runs them over the bit reader of bit_reader.h; the fast path
// (fast_entropy.cpp) over its bit buffer and lookup tables, and over a source
// whose every read fails once the data has ended. So a rule changed here
// changes every decoding alike, and the tests and the differential fuzzer
// that compare them compare the bit sources.
//
// A bit source `Bits` provides:
//   Bits::Table                       what a Huffman table is looked up in
//   read_symbol(const Bits::Table&)   the next symbol, or no_symbol
//   read_bits(count)                  `count` (0-11) bits as an unsigned
//                                     number, 0 for none, or -1 on failure
// and may provide the two reads of WholeReads (below), with which the
// commonest symbol, one that no rule touches, is taken in one step.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <random>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"
#include "decoder/numeric.h"
#include "decoder/random_draw.h"

namespace shardcast {

// The EXTEND procedure: v read with length s stands for v + 1 - 2^s when
// s > 0 and v < 2^(s-1), otherwise for v itself; a replacement value outside
// what s can express passes through the same way. Written with a mask
// instead of a comparison, because which way it goes is as good as random
// and a branch would be mispredicted half the time. Values are below 2^16
// and lengths at most 11, so nothing here can overflow.
inline std::int32_t extend(std::int32_t value, std::uint32_t size) {
  if (size == 0) {
    return value;
  }
  const std::int32_t half = std::int32_t{1} << (size - 1);
  const std::int32_t below_half = (value - half) >> 31;  // -1 when value < half, else 0
  return value + (below_half & (1 - 2 * half));
}

// Where a recovery writes its line and draws its replacement.
struct Recovery {
  std::mt19937& rng;
  MessageWriter& messages;

  std::int32_t replace(Message message, DrawRange range) {
    messages.line(message);
    return random_in_range(range, rng);
  }
};

// The block's DC value: its length, then its bits, added to the predictor
// and stored in entry 0. False at a DC length above 11, which no
// replacement reaches, only a table that defines one.
template <class Bits>
[[gnu::always_inline]] inline bool decode_dc_value(Bits& bits, const typename Bits::Table& dc, std::int32_t* block,
                                                   std::int32_t& predictor, Recovery recovery) {
  std::uint32_t length = bits.read_symbol(dc);
  if (length == no_symbol) [[unlikely]] {
    length = static_cast<std::uint32_t>(recovery.replace(Message::InvalidDcValue, recovery_range));
  }
  if (length > 11) [[unlikely]] {
    recovery.messages.line(Message::DcLengthAbove11);
    return false;
  }
  std::int32_t value = bits.read_bits(length);
  if (value < 0) [[unlikely]] {
    value = recovery.replace(Message::InvalidDcValue, recovery_range);
  }
  predictor = wrapping_add(predictor, extend(value, length));
  block[0] = predictor;
  return true;
}

// An AC coefficient of `size` bits, extended.
template <class Bits>
[[gnu::always_inline]] inline std::int32_t read_ac_value(Bits& bits, std::uint32_t size, Recovery recovery) {
  std::int32_t value = bits.read_bits(size);
  if (value < 0) [[unlikely]] {
    value = recovery.replace(Message::InvalidAcValue, ac_bits_range);
  }
  return extend(value, size);
}

// A source that can tell when a symbol and its value bits are both in hand
// offers read_whole_symbol (false, having read nothing, when they are not)
// and take_bits (bits that are certainly there).
template <class Bits>
concept WholeReads = requires(Bits& bits, const typename Bits::Table& table, std::uint32_t& symbol) {
  { bits.read_whole_symbol(table, symbol) } -> std::same_as<bool>;
  { bits.take_bits(std::uint32_t{1}) } -> std::same_as<std::int32_t>;
};

// Reads the next AC symbol into `symbol` for the rules (false). With a
// source of WholeReads, a symbol that none of the rules touches, a
// coefficient of 1-10 bits within the block, is stored at once instead,
// just as the rules would store it (true); no_symbol has size 15 and the
// end of block size 0, so neither is one of them.
template <class Bits>
[[gnu::always_inline]] inline bool take_plain_coefficient(Bits& bits, const typename Bits::Table& ac,
                                                          std::int32_t* block, std::uint32_t& k,
                                                          std::uint32_t& symbol) {
  if constexpr (WholeReads<Bits>) {
    if (bits.read_whole_symbol(ac, symbol)) [[likely]] {
      const std::uint32_t run = symbol >> 4;
      const std::uint32_t size = symbol & 0x0F;
      if (size - 1 >= 10 || k + run > 63) [[unlikely]] {
        return false;
      }
      k += run;
      block[zigzag_order[k++]] = extend(bits.take_bits(size), size);
      return true;
    }
  }
  symbol = bits.read_symbol(ac);
  return false;
}

// The block's AC coefficients, zig-zag positions 1-63, up to the end of
// block or the last position.
template <class Bits>
[[gnu::always_inline]] inline void decode_ac_values(Bits& bits, const typename Bits::Table& ac, std::int32_t* block,
                                                    Recovery recovery) {
  std::uint32_t k = 1;
  while (k < 64) {
    std::uint32_t symbol = 0;
    if (take_plain_coefficient(bits, ac, block, k, symbol)) [[likely]] {
      continue;
    }
    if (symbol == no_symbol) {
      // A replacement is a run of 0 with a size of 1-10, never an end of block.
      symbol = static_cast<std::uint32_t>(recovery.replace(Message::InvalidAcValue, recovery_range));
    }
    if (symbol == 0x00) {
      break;
    }
    const std::uint32_t run = symbol >> 4;
    std::uint32_t size = symbol & 0x0F;
    if (k + run > 63) {
      recovery.messages.line(Message::ZeroRunExceeded);
      k = 63;  // the coefficient lands on the last position, and the block ends after it
    } else {
      k += run;
    }
    if (size > 10) {
      size = static_cast<std::uint32_t>(recovery.replace(Message::AcLengthAbove10, recovery_range));
    }
    block[zigzag_order[k++]] = read_ac_value(bits, size, recovery);
  }
}

// One block into `block` (64 entries, natural order), which keeps its value
// wherever no coefficient lands. False when decoding must stop: a frame
// that is not baseline (nothing is read), or a DC length above 11.
template <class Bits>
[[gnu::always_inline]] inline bool decode_block_from(Bits& bits, std::uint8_t frame_marker,
                                                     const typename Bits::Table& dc, const typename Bits::Table& ac,
                                                     std::int32_t* block, std::int32_t& predictor, Recovery recovery) {
  if (frame_marker != baseline_frame || !decode_dc_value(bits, dc, block, predictor, recovery)) {
    return false;
  }
  decode_ac_values(bits, ac, block, recovery);
  return true;
}

// The shape of the scan's MCUs. A scan of component 1 alone is not
// interleaved: one block per MCU, and one per component in it. Otherwise
// the MCU is the frame's (mcu_v_blocks x mcu_h_blocks blocks), and each
// component in the scan gives v_factor x h_factor blocks to it.
struct ScanLayout {
  bool interleaved = true;
  std::uint32_t step_rows = 0;
  std::uint32_t step_cols = 0;
  std::uint32_t planes = 0;  // components that can hold blocks, at most 3

  explicit ScanLayout(const DecoderState& state)
      : interleaved(!(state.scan_component_count == 1 && state.components[0].in_scan)),
        step_rows(interleaved ? state.mcu_v_blocks : 1),
        step_cols(interleaved ? state.mcu_h_blocks : 1),
        planes(state.component_count < 3 ? state.component_count : 3) {}

  // A frame without a frame header's sampling has no MCUs to visit.
  bool empty() const { return step_rows == 0 || step_cols == 0; }
};

// How far a scan has come: the next MCU and the DC predictors of the three
// planes, which start at 0 and are set back to 0 at each restart boundary.
struct ScanPosition {
  std::uint32_t mcu_row = 0;
  std::uint32_t mcu_col = 0;
  std::uint32_t mcu = 0;  // MCUs visited before this one, in raster order
  std::array<std::int32_t, 3> predictors{};
};

// Visits the MCUs from `at` on whose first block row lies before `row_end`,
// in raster order: at each restart boundary the predictors are reset and
// restart() drops the bits of the byte in hand; then each component in the
// scan, in frame order, has its blocks decoded row by row through
// decode(block_row, block_col, plane, predictor). False when the scan stops
// at a block: when decode() says so, or when a block would fall outside the
// padded storage, which no sampling the header accepts reaches.
template <class Restart, class Decode>
bool decode_mcus(const DecoderState& state, const ScanLayout& layout, ScanPosition& at, std::uint32_t row_end,
                 Restart&& restart, Decode&& decode) {
  for (; at.mcu_row < state.block_rows && at.mcu_row < row_end; at.mcu_row += layout.step_rows, at.mcu_col = 0) {
    for (; at.mcu_col < state.block_cols; at.mcu_col += layout.step_cols, ++at.mcu) {
      if (state.restart_interval != 0 && at.mcu % state.restart_interval == 0) {
        at.predictors = {0, 0, 0};
        restart();
      }
      for (std::uint32_t i = 0; i < layout.planes; ++i) {
        const ComponentSpec& component = state.components[i];
        if (!component.in_scan) {
          continue;
        }
        const std::uint32_t rows = layout.interleaved ? component.v_factor : 1;
        const std::uint32_t cols = layout.interleaved ? component.h_factor : 1;
        for (std::uint32_t v = 0; v < rows; ++v) {
          for (std::uint32_t h = 0; h < cols; ++h) {
            const std::uint32_t row = at.mcu_row + v;
            const std::uint32_t col = at.mcu_col + h;
            if (row >= state.padded_block_rows || col >= state.padded_block_cols ||
                !decode(row, col, i, at.predictors[i])) {
              return false;
            }
          }
        }
      }
    }
  }
  return true;
}

}  // namespace shardcast
