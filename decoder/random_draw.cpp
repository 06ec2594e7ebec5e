// The ranged draw. The draw is multiplied by the range's size in 64 bits;
// the high word is the result and a low word below 2^32 mod size is
// rejected, so that every integer of the range is equally likely. The full
// 32-bit range takes every draw as it is. Signed results are formed in
// unsigned arithmetic, so no range overflows.
#include "decoder/random_draw.h"

#include "decoder/numeric.h"

namespace shardcast {

bool map_draw(DrawRange range, std::uint32_t draw, std::int32_t& result) {
  const std::uint32_t span = static_cast<std::uint32_t>(range.high) - static_cast<std::uint32_t>(range.low) + 1u;
  if (span == 0) {
    // The full 32-bit range: every draw maps onto itself.
    result = wrapping_add(range.low, static_cast<std::int32_t>(draw));
    return true;
  }
  const std::uint64_t product = std::uint64_t{draw} * span;
  const std::uint32_t threshold = (0u - span) % span;  // 2^32 mod span
  if (static_cast<std::uint32_t>(product) < threshold) {
    return false;
  }
  result = wrapping_add(range.low, static_cast<std::int32_t>(product >> 32));
  return true;
}

std::int32_t random_in_range(DrawRange range, std::mt19937& engine) {
  std::int32_t result = 0;
  while (!map_draw(range, static_cast<std::uint32_t>(engine()), result)) {
  }
  return result;
}

}  // namespace shardcast
