// getpriority(2) and setpriority(2) as FreeBSD's kern_resource.c answers them: PRIO_PROCESS
// takes in all the threads of a process, and never a thread id.
#include <sys/resource.h>

#include <cerrno>

#include "freebsd/c_interface.h"
#include "linux/syscalls/thread_group.h"
#include "freebsd/sys/kern/kern_proc.h"

namespace {

bool priority_of(int which, host::PriorityOf &out) {
    switch (which) {
    case PRIO_PROCESS:
        out = host::PriorityOf::process;
        return true;
    case PRIO_PGRP:
        out = host::PriorityOf::group;
        return true;
    case PRIO_USER:
        out = host::PriorityOf::user;
        return true;
    default:
        return false;
    }
}

int fail(int err) {
    errno = err;
    return -1;
}

// The host's kind of target for FreeBSD's which, and 0, or the errno for a wrong pair.
int priority_target(int which, int who, host::PriorityOf &of) {
    if (!priority_of(which, of))
        return EINVAL;
    return which == PRIO_PROCESS ? check_process_id(who) : 0;
}

}  // namespace

int getpriority(int which, int who) {
    return without_exceptions<int>(-1, [&]() -> int {
        host::PriorityOf of;
        if (int err = priority_target(which, who, of))
            return fail(err);
        int nice = 0;
        if (int err = host::get_nice(of, who, nice))
            return fail(err);
        return nice;
    });
}

int setpriority(int which, int who, int prio) {
    return without_exceptions<int>(-1, [&]() -> int {
        host::PriorityOf of;
        if (int err = priority_target(which, who, of))
            return fail(err);
        if (int err = host::set_nice(of, who, prio))
            return fail(err);
        return 0;
    });
}
