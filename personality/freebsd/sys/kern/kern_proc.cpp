// The kern.proc nodes of FreeBSD's kern_proc.c: sysctl_kern_proc() (the process table, one
// process, its threads), sysctl_kern_proc_args(), sysctl_kern_proc_pathname() and
// sysctl_kern_proc_rlimit(), over the host's /proc and prlimit(2).
#include "freebsd/sys/kern/kern_proc.h"

#include <sys/param.h>
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "linux/procfs/procfs.h"
#include "linux/syscalls/rlimits.h"
#include "freebsd/sys/kern/kern_proc_conversions.h"
#include "freebsd/sys/kern/kern_proc_kinfo.h"

namespace kern_proc {

// FreeBSD's size probe of the process table overestimates by five processes.
size_t process_table_probe_size(size_t processes) {
    constexpr size_t kProbeSlack = 5;
    return (processes + kProbeSlack) * sizeof(struct kinfo_proc);
}

}  // namespace kern_proc

namespace {

int process_table(SysctlReply &reply) {
    std::vector<int> pids;
    if (int err = host::list_pids(pids))
        return err;
    if (reply.probing()) {  // the size needs only the count
        reply.reserve(kern_proc::process_table_probe_size(pids.size()));
        return 0;
    }
    for (int pid : pids) {
        struct kinfo_proc kp;
        if (kinfo_proc_of(pid, &kp) == 0)  // a process that ended meanwhile is left out
            reply.out(&kp, sizeof(kp));
    }
    return 0;
}

}  // namespace

int kern_proc_table(SysctlArgs, SysctlReply &reply) { return process_table(reply); }

int kern_proc_pid(SysctlArgs args, SysctlReply &reply) {
    struct kinfo_proc kp;
    if (int err = kinfo_proc_of(args[0], &kp))
        return err;
    reply.out(&kp, sizeof(kp));
    return 0;
}

int kern_proc_pid_td(SysctlArgs args, SysctlReply &reply) {
    if (reply.probing()) {  // the size needs only the thread count
        if (int err = host::check_process(args[0]))
            return err;
        std::vector<int> tids;
        if (int err = host::list_tids(args[0], tids))
            return err;
        reply.reserve(tids.size() * sizeof(struct kinfo_proc));
        return 0;
    }
    std::vector<struct kinfo_proc> threads;
    if (int err = kinfo_proc_threads_of(args[0], threads))
        return err;
    reply.out(threads.data(), threads.size() * sizeof(struct kinfo_proc));
    return 0;
}

int kern_proc_args(SysctlArgs args, SysctlReply &reply) {
    host::TextFile cmdline;
    if (int err = host::read_cmdline(args[0], cmdline))
        return err;
    reply.out(cmdline.text().data(), cmdline.text().size());
    return 0;
}

int kern_proc_pathname(SysctlArgs args, SysctlReply &reply) {
    // The host names longer paths than FreeBSD: a caller's MAXPATHLEN buffer then gets ENOMEM.
    char path[4 * MAXPATHLEN];
    pid_t pid = args[0] == -1 ? getpid() : args[0];  // -1: the calling process
    switch (int err = host::read_exe(pid, path, sizeof(path))) {
    case 0:
        reply.out(path, std::strlen(path) + 1);
        return 0;
    case ENOENT:  // no executable (a kernel process, a zombie): an empty answer
        return 0;
    case ESTALE:  // deleted: the kernel cannot name it
        return ENOENT;
    default:
        return err;
    }
}

namespace kern_proc {

// FreeBSD's resources, by number, as the host keeps them; the others the host does not limit.
std::optional<host::Limit> host_limit(int resource) {
    static constexpr std::optional<host::Limit> limits[RLIM_NLIMITS] = {
        host::Limit::cpu,     // RLIMIT_CPU
        host::Limit::fsize,   // RLIMIT_FSIZE
        host::Limit::data,    // RLIMIT_DATA
        host::Limit::stack,   // RLIMIT_STACK
        host::Limit::core,    // RLIMIT_CORE
        host::Limit::rss,     // RLIMIT_RSS
        host::Limit::memlock, // RLIMIT_MEMLOCK
        host::Limit::nproc,   // RLIMIT_NPROC
        host::Limit::nofile,  // RLIMIT_NOFILE
        std::nullopt,         // RLIMIT_SBSIZE
        host::Limit::as,      // RLIMIT_VMEM
        std::nullopt,         // RLIMIT_NPTS
        std::nullopt,         // RLIMIT_SWAP
        std::nullopt,         // RLIMIT_KQUEUES
        std::nullopt,         // RLIMIT_UMTXP
    };
    return limits[resource];
}

rlim_t freebsd_limit(uint64_t value) {
    return value >= static_cast<uint64_t>(RLIM_INFINITY) ? RLIM_INFINITY : static_cast<rlim_t>(value);
}

// FreeBSD takes a negative limit for unlimited.
uint64_t host_value(rlim_t value) {
    return value < 0 || value == RLIM_INFINITY ? host::kUnlimited : static_cast<uint64_t>(value);
}

}  // namespace kern_proc

namespace {

using kern_proc::freebsd_limit;
using kern_proc::host_limit;
using kern_proc::host_value;

int check_rlimit_args(SysctlArgs args) {
    if (args[1] < 0 || args[1] >= RLIM_NLIMITS)
        return EINVAL;
    return host::check_process(args[0]);
}

}  // namespace

int kern_proc_rlimit(SysctlArgs args, SysctlReply &reply) {
    if (int err = check_rlimit_args(args))
        return err;
    struct rlimit rl = {RLIM_INFINITY, RLIM_INFINITY};
    if (std::optional<host::Limit> limit = host_limit(args[1])) {
        host::LimitPair pair;
        if (int err = host::get_limit(args[0], *limit, pair))
            return err;
        rl = {freebsd_limit(pair.soft), freebsd_limit(pair.hard)};
    }
    reply.out(&rl, sizeof(rl));
    return 0;
}

int kern_proc_rlimit_set(SysctlArgs args, const void *value, size_t len) {
    if (int err = check_rlimit_args(args))
        return err;
    if (len != sizeof(struct rlimit))
        return EINVAL;
    struct rlimit rl;
    std::memcpy(&rl, value, sizeof(rl));
    std::optional<host::Limit> limit = host_limit(args[1]);
    if (!limit)  // the host cannot enforce it
        return EOPNOTSUPP;
    host::LimitPair pair = {host_value(rl.rlim_cur), host_value(rl.rlim_max)};
    pair.soft = std::min(pair.soft, pair.hard);  // FreeBSD lowers a soft limit above the hard one
    return host::set_limit(args[0], *limit, pair);
}

int check_process_id(int id) { return id > 0 ? host::check_process(id) : 0; }

int pget_errno(host::ProcessState state, int flags) {
    switch (state) {
    case host::ProcessState::alive:
        return 0;
    case host::ProcessState::exited:
        return (flags & kPgetNotWexit) != 0 ? ESRCH : 0;
    case host::ProcessState::gone:
        break;
    }
    return ESRCH;
}
