// The host C library's allocator, as the process sees its own heap.
#pragma once
#include <cstdint>

namespace host {

struct AllocatorStats {
    uint64_t in_use = 0;  // bytes handed out: small chunks and mmapped ones
    uint64_t mapped = 0;  // bytes taken from the system: the arenas and the mmapped chunks
};
AllocatorStats allocator_stats();
// Gives free memory back to the system.
void allocator_trim();

}  // namespace host
