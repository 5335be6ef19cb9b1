// The host C library's allocator figures (mallinfo2(3)) and its trim (malloc_trim(3)).
#include "linux/libc/allocator.h"

#include <malloc.h>

namespace host {

AllocatorStats allocator_stats() {
    struct mallinfo2 mi = mallinfo2();
    return {mi.uordblks + mi.hblkhd, mi.arena + mi.hblkhd};
}

void allocator_trim() { malloc_trim(0); }

}  // namespace host
