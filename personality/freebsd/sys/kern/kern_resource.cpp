// getpriority(2), setpriority(2) and kill(2) with FreeBSD's idea of a process: all its
// threads, and never a thread id.
#include <sys/resource.h>

#include <signal.h>

#include <cerrno>

#include "freebsd/c_interface.h"
#include "linux/syscalls/thread_group.h"
#include "linux/procfs/procfs.h"

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

// FreeBSD's process ids name processes only: a Linux thread id is refused with ESRCH. Ids of
// 0 and below name the caller, a group or every process.
int check_process_id(int id) { return id > 0 ? host::check_process(id) : 0; }

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

int kill(pid_t pid, int sig) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (int err = check_process_id(pid))
            return fail(err);
        if (int err = host::send_signal(pid, sig))
            return fail(err);
        return 0;
    });
}
