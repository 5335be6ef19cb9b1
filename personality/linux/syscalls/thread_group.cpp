// setpriority(2), getpriority(2) and kill(2) applied to every thread of a process.
#include "linux/syscalls/thread_group.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "linux/procfs/procfs.h"

namespace host {

static __priority_which_t linux_which(PriorityOf which) {
    switch (which) {
    case PriorityOf::group:
        return PRIO_PGRP;
    case PriorityOf::user:
        return PRIO_USER;
    default:
        return PRIO_PROCESS;
    }
}

int get_nice(PriorityOf which, int who, int &out) {
    errno = 0;
    out = getpriority(linux_which(which), static_cast<id_t>(who));
    return errno;
}

int set_nice(PriorityOf which, int who, int value) {
    if (which != PriorityOf::process)
        return setpriority(linux_which(which), static_cast<id_t>(who), value) == 0 ? 0 : errno;
    int pid = who == 0 ? getpid() : who;
    std::vector<int> tids;
    if (int err = list_tids(pid, tids))
        return err;
    int first_error = 0;
    for (int tid : tids)
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value) != 0 && errno != ESRCH && first_error == 0)
            first_error = errno;  // a thread that ended meanwhile is no failure
    return first_error;
}

int send_signal(int pid, int sig) {
    return kill(pid, sig) == 0 ? 0 : errno;
}

}  // namespace host
