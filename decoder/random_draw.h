// The ranged draw: a uniform integer of a closed range from an engine's
// 32-bit draws, by multiply-and-reject, and the ranges the decoder draws
// from.
#pragma once

#include <cstdint>
#include <random>

namespace shardcast {

struct DrawRange {
  std::int32_t low;
  std::int32_t high;
};

inline constexpr DrawRange recovery_range{1, 10};     // replacement lengths, sizes and DC bits
inline constexpr DrawRange ac_bits_range{0, 254};     // replacement AC bits
inline constexpr DrawRange table_index_range{0, 63};  // quantisation table entries

// One uniform integer of the closed range, by multiply-and-reject.
std::int32_t random_in_range(DrawRange range, std::mt19937& engine);
// One step of that mapping: false when the draw is rejected, otherwise true
// with the draw's integer in result.
bool map_draw(DrawRange range, std::uint32_t draw, std::int32_t& result);

}  // namespace shardcast
