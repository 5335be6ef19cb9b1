// kern.argmax, hw.ncpu and hw.physmem, as FreeBSD's kern_mib.c exports ARG_MAX and mp_ncpus and
// sysctl_hw_physmem() answers: the host's exec limit, its online CPUs and its memory.
#include "freebsd/sys/kern/kern_mib.h"

#include <unistd.h>

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
