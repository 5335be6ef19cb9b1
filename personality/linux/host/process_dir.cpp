#include "process_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "procfs.h"
#include "text_file.h"

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
    TextFile status;
    if ((err = status.read_at(fd, "status")) != 0)
        return err == ENOENT ? ESRCH : err;
    ProcStatus parsed;
    // /proc/TID answers for a thread too: only a thread group leader is a process.
    if (!parse_status(status.text(), parsed) || parsed.tgid != pid)
        return ESRCH;
    return 0;
}

}  // namespace host
