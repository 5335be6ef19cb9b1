// sched_getaffinity(2) and sched_setaffinity(2) over every thread of a process.
#include "linux/syscalls/affinity.h"

#include <sched.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "linux/procfs/procfs.h"

namespace host {

static_assert(sizeof(cpu_set_t) == sizeof(CpuMask), "the host's CPU set holds 1024 CPUs too");

int get_affinity(int pid, CpuMask &out) {
    cpu_set_t set;
    if (sched_getaffinity(pid, sizeof(set), &set) != 0)
        return errno;
    std::memcpy(out.words, &set, sizeof(set));
    return 0;
}

int set_affinity(int pid, const CpuMask &mask) {
    cpu_set_t set;
    std::memcpy(&set, mask.words, sizeof(set));
    // Linux binds threads one by one; the process's affinity is that of all its threads.
    std::vector<int> tids;
    if (int err = list_tids(pid, tids))
        return err;
    int first_error = 0;
    for (int tid : tids)
        if (sched_setaffinity(tid, sizeof(set), &set) != 0 && errno != ESRCH && first_error == 0)
            first_error = errno;  // a thread that ended meanwhile is no failure
    return first_error;
}

}  // namespace host
