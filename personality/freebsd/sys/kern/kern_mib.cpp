#include "freebsd/sys/kern/kern_mib.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "linux/procfs/procfs.h"

// The host's limit on the bytes of arguments and environment of exec.
int kern_argmax(SysctlArgs args, SysctlReply &reply) {
    if (!args.empty())
        return ENOTDIR;
    int argmax = static_cast<int>(sysconf(_SC_ARG_MAX));
    reply.out(&argmax, sizeof(argmax));
    return 0;
}

// The moment of boot: whole seconds, as the host keeps it (/proc/stat's btime).
int kern_boottime(SysctlArgs args, SysctlReply &reply) {
    if (!args.empty())
        return ENOTDIR;
    struct timeval boot = {};
    boot.tv_sec = static_cast<time_t>(host::boot_time());
    reply.out(&boot, sizeof(boot));
    return 0;
}
