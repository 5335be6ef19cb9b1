// CPU affinity of a whole process: every one of its threads.
#pragma once
#include <cstdint>

namespace host {

// CPUs 0 to 1023, CPU n at bit n % 64 of word n / 64.
struct CpuMask {
    uint64_t words[16] = {};
};

// 0, or the errno of sched_getaffinity / sched_setaffinity (ESRCH for a task that does not exist).
int get_affinity(int pid, CpuMask &out);
int set_affinity(int pid, const CpuMask &mask);

}  // namespace host
