#include "linux/libc/allocator.h"

#include <malloc.h>

namespace host {

AllocatorStats allocator_stats() {
    struct mallinfo2 mi = mallinfo2();
    return {mi.uordblks + mi.hblkhd, mi.arena + mi.hblkhd};
}

void allocator_trim() { malloc_trim(0); }

}  // namespace host
