// cpuset_getaffinity(2) and cpuset_setaffinity(2) for one process, the calling one for id -1.
#include <sys/cpuset.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "freebsd/c_interface.h"
#include "linux/syscalls/affinity.h"
#include "linux/procfs/procfs.h"

static_assert(sizeof(cpuset_t) == sizeof(host::CpuMask), "a FreeBSD set holds as many CPUs as the host's");

namespace {

// The process a call addresses, or -1 with errno set.
pid_t target(cpulevel_t level, cpuwhich_t which, freebsd_id_t id, size_t setsize) {
    if (level != CPU_LEVEL_WHICH || which != CPU_WHICH_PID) {  // the only level and kind answered
        errno = EINVAL;
        return -1;
    }
    if (setsize < sizeof(long) || setsize > sizeof(cpuset_t)) {
        errno = ERANGE;
        return -1;
    }
    if (id == -1)
        return getpid();
    // A Linux thread id is no FreeBSD process id.
    if (id <= 0 || id > INT32_MAX || host::check_process(static_cast<pid_t>(id)) != 0) {
        errno = ESRCH;
        return -1;
    }
    return static_cast<pid_t>(id);
}

int fail(int err) {
    errno = err;
    return -1;
}

}  // namespace

int cpuset_getaffinity(cpulevel_t level, cpuwhich_t which, freebsd_id_t id, size_t setsize, cpuset_t *mask) {
    return without_exceptions<int>(-1, [&]() -> int {
        pid_t pid = target(level, which, id, setsize);
        if (pid == -1)
            return -1;
        host::CpuMask host_mask;
        if (int err = host::get_affinity(pid, host_mask))
            return fail(err);
        std::memcpy(mask, host_mask.words, setsize);
        return 0;
    });
}

int cpuset_setaffinity(cpulevel_t level, cpuwhich_t which, freebsd_id_t id, size_t setsize, const cpuset_t *mask) {
    return without_exceptions<int>(-1, [&]() -> int {
        pid_t pid = target(level, which, id, setsize);
        if (pid == -1)
            return -1;
        host::CpuMask host_mask;
        std::memcpy(host_mask.words, mask, setsize);
        static constexpr host::CpuMask kEmpty{};
        if (std::memcmp(&host_mask, &kEmpty, sizeof(kEmpty)) == 0)  // no CPU left to run on
            return fail(EDEADLK);
        if (int err = host::set_affinity(pid, host_mask))
            return fail(err);
        return 0;
    });
}
