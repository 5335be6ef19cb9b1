#include "kern_proc.h"

#include <cerrno>
#include <vector>

#include "host/procfs.h"
#include "proc_record.h"

namespace {

// FreeBSD's size probe of the process table overestimates by five processes.
constexpr size_t kProbeSlack = 5;

int process_table(SysctlReply &reply) {
    std::vector<int> pids;
    if (int err = host::list_pids(pids))
        return err;
    if (reply.probing()) {  // the size needs only the count
        reply.reserve((pids.size() + kProbeSlack) * sizeof(struct kinfo_proc));
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

int kern_proc_all(SysctlArgs args, SysctlReply &reply) {
    return args.empty() ? process_table(reply) : EINVAL;
}

int kern_proc_proc(SysctlArgs args, SysctlReply &reply) {
    return args.size() <= 1 ? process_table(reply) : EINVAL;
}

int kern_proc_pid(SysctlArgs args, SysctlReply &reply) {
    if (args.size() != 1)
        return EINVAL;
    struct kinfo_proc kp;
    if (int err = kinfo_proc_of(args[0], &kp))
        return err;
    reply.out(&kp, sizeof(kp));
    return 0;
}

int kern_proc_pid_td(SysctlArgs args, SysctlReply &reply) {
    if (args.size() != 1)
        return EINVAL;
    std::vector<struct kinfo_proc> threads;
    if (int err = kinfo_proc_threads_of(args[0], threads))
        return err;
    reply.out(threads.data(), threads.size() * sizeof(struct kinfo_proc));
    return 0;
}
