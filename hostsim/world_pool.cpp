// Keeping and handing out world storage by size; see world_pool.h.
#include "hostsim/world_pool.h"

#include <algorithm>
#include <utility>

namespace shardcast::hostsim {

PixelBlock WorldPool::take(std::size_t size) {
  const auto found =
      std::find_if(kept_.begin(), kept_.end(), [&](const PixelBlock& b) { return b.size == size; });
  if (found == kept_.end()) {
    return PixelBlock{std::make_unique<std::uint8_t[]>(size), size};
  }
  PixelBlock block = std::move(*found);
  kept_.erase(found);
  return block;
}

void WorldPool::give_back(PixelBlock block) {
  if (!block.bytes) {
    return;
  }
  kept_.push_front(std::move(block));
  if (kept_.size() > max_kept) {
    kept_.pop_back();
  }
}

}  // namespace shardcast::hostsim
