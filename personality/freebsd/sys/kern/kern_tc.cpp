// kern.boottime: FreeBSD's sysctl_kern_boottime(), the moment of boot in whole seconds, as the
// host keeps it (/proc/stat's btime).
#include "freebsd/sys/kern/kern_tc.h"

#include "linux/procfs/procfs.h"

int kern_boottime(struct timeval &boot) {
    boot = {};
    boot.tv_sec = static_cast<time_t>(host::boot_time());
    return 0;
}
