// The allocator as our rendering processes set it up: a block far above
// glibc's mmap threshold, freed and asked for again as the effect does in
// every render, comes back without the kernel handing out fresh pages.
#include "cli/system/process_memory.h"

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace shardcast::cli {
namespace {

long page_faults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

// Through volatile pointers, so that the compiler cannot drop the pair.
void* (*volatile allocate)(std::size_t) = std::malloc;
void (*volatile release)(void*) = std::free;

// Allocates, writes every page, frees; the page faults that took.
long faults_of_one_block(std::size_t size) {
  const long before = page_faults();
  void* block = allocate(size);
  if (block == nullptr) {
    return -1;
  }
  std::memset(block, 1, size);
  release(block);
  return page_faults() - before;
}

TEST(ReuseFreedMemory, ALargeBlockTakenAgainFaultsNoFreshPagesIn) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the setting is glibc's, and a sanitizer brings its own allocator";
#endif
  reuse_freed_memory();
  constexpr std::size_t size = std::size_t{64} << 20;  // 16384 pages, twice glibc's largest threshold
  ASSERT_GE(faults_of_one_block(size), 0);
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_LT(faults_of_one_block(size), 64) << "frame " << frame;
  }
}

}  // namespace
}  // namespace shardcast::cli
