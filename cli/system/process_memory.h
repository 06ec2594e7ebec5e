// How a process of ours that renders frame after frame sets up the C
// library's allocator: the tool, its render workers (forked from it, so
// they keep the setting), the benchmarks, and any later server. The frei0r
// filter lives in someone else's process and must not call this.
#pragma once

namespace shardcast::cli {

// Call first thing in main(), before any thread starts. Without effect
// where the C library is not glibc (the Windows build) or where a
// sanitizer's allocator stands in for it.
void reuse_freed_memory();

}  // namespace shardcast::cli
