#include "process_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "procfs.h"

namespace host {

OwnedFd::~OwnedFd() { reset(-1); }

void OwnedFd::reset(int fd) {
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

int ProcessDir::open(int pid) {
    if (pid <= 0)
        return ESRCH;
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d", pid);
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int err = errno;
    dir_.reset(fd);
    if (fd < 0)
        return err == ENOENT ? ESRCH : err;
    // Checked after the open: had the pid been reused meanwhile, the directory held open
    // belongs to the process that ended, and reads through it fail.
    return check_process(pid);
}

}  // namespace host
