// hw.ncpu: FreeBSD's mp_ncpus, exported by subr_smp.c, is the host's count of online CPUs.
#include "freebsd/sys/kern/subr_smp.h"

#include <unistd.h>

int hw_ncpu(int &ncpu) {
    ncpu = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    return 0;
}
