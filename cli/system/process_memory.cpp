// The effect allocates its large blocks afresh in every render (the JPEG
// stream, the decoder's coefficients, the filters' snapshot), since a
// render may keep nothing for the next. glibc serves blocks above its mmap
// threshold (128 KiB, rising with use to at most 32 MiB) from fresh
// mappings and unmaps them on free, so each frame faulted them in again:
// about 1,200 page faults per 1080p frame and 10,000 per 2160p frame, each
// a trip through the kernel to clear a page.
//
// Here every block comes from the heap (M_MMAP_MAX 0; glibc still maps
// memory when the heap cannot grow) and the heap is never trimmed, so the
// next frame reuses the same pages and faults almost none. The price: the
// process keeps the memory of its largest frame until it ends, which a
// renderer needs again for its next frame anyway.
#include "cli/system/process_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace shardcast::cli {

void reuse_freed_memory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
#endif
}

}  // namespace shardcast::cli
