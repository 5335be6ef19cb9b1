// kill(2) as FreeBSD's kern_sig.c answers it: a process id names a whole process, never a
// thread of another one.
#include <signal.h>

#include <cerrno>

#include "freebsd/c_interface.h"
#include "freebsd/sys/kern/kern_proc.h"
#include "linux/syscalls/thread_group.h"

namespace {

int fail(int err) {
    errno = err;
    return -1;
}

}  // namespace

int kill(pid_t pid, int sig) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (int err = check_process_id(pid))
            return fail(err);
        if (int err = host::send_signal(pid, sig))
            return fail(err);
        return 0;
    });
}
