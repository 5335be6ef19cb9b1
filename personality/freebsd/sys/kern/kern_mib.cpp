// kern.argmax, kern.pid_max, hw.ncpu, hw.physmem and hw.availpages, as FreeBSD's kern_mib.c
// exports ARG_MAX, mp_ncpus and physmem and sysctl_kern_pid_max() and sysctl_hw_physmem()
// answer: the host's exec limit, its largest process id, its online CPUs and its memory.
#include "freebsd/sys/kern/kern_mib.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "linux/procfs/system_stat.h"

// The host's limit on the bytes of arguments and environment of exec.
int kern_argmax(int &argmax) {
    argmax = static_cast<int>(sysconf(_SC_ARG_MAX));
    return 0;
}

int hw_ncpu(int &ncpu) {
    ncpu = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    return 0;
}

int hw_physmem(unsigned long &bytes) {
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    bytes = mem.total;
    return 0;
}

// The host's limit, which may pass FreeBSD's PID_MAX (99999). Both kernels hand out ids below
// it, so it is the same figure.
int kern_pid_max(int &pid_max) {
    uint64_t limit = 0;
    if (int err = host::read_pid_max(limit))
        return err;
    pid_max = static_cast<int>(std::min<uint64_t>(limit, INT_MAX));
    return 0;
}

// physmem, in pages.
int hw_availpages(long &pages) {
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    pages = static_cast<long>(mem.total / static_cast<uint64_t>(sysconf(_SC_PAGESIZE)));
    return 0;
}
