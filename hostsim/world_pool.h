// Pixel storage the simulated host keeps from one command to the next, as a
// real host keeps its buffers: a session's frames reuse the same blocks
// instead of asking the system for fresh pages (and faulting them in) for
// every world of every frame.
//
// Blocks are matched by exact size. A kept block holds whatever its last
// user left in it; a new one is zeroed, so no world ever holds bytes the
// host did not define. A few blocks are kept, the most recently returned
// first, which covers the worlds of one render (input layer, output world,
// the module's work buffer) at any frame size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

namespace shardcast::hostsim {

struct PixelBlock {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};

class WorldPool {
 public:
  static constexpr std::size_t max_kept = 4;

  // A block of `size` bytes: a kept one if there is one of that size,
  // otherwise a new zeroed one (which may throw std::bad_alloc).
  PixelBlock take(std::size_t size);
  // Keeps the block for a later take(); the least recently returned block
  // is let go beyond max_kept.
  void give_back(PixelBlock block);
  std::size_t kept() const { return kept_.size(); }

 private:
  std::deque<PixelBlock> kept_;
};

}  // namespace shardcast::hostsim
