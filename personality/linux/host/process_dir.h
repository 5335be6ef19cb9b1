// The /proc/PID directory of one process, held open: files read through it after the check
// belong to that process, or fail, even if the pid is reused meanwhile.
#pragma once

namespace host {

// An owned file descriptor, closed at scope exit.
class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : fd_(fd) {}
    OwnedFd(const OwnedFd &) = delete;
    OwnedFd &operator=(const OwnedFd &) = delete;
    ~OwnedFd();
    int get() const { return fd_; }
    void reset(int fd);

private:
    int fd_ = -1;
};

class ProcessDir {
public:
    // 0; ESRCH when pid is not a process (a thread id of another process included), or the
    // errno of the open.
    int open(int pid);
    int fd() const { return dir_.get(); }

private:
    OwnedFd dir_;
};

}  // namespace host
