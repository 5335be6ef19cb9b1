// The /proc/PID directory of one process, held open: files read through it after the check
// belong to that process, or fail, even if the pid is reused meanwhile.
#pragma once
#include <dirent.h>

#include <span>
#include <vector>

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
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
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
    // Linux hides the files, maps, arguments and environment of a process whose main thread
    // exited while others run behind that thread; a running thread's directory still shows
    // them. Moves there and returns true in that case; false otherwise.
    bool follow_running_thread();
    // Whether the process (its main thread) has exited or is exiting.
    bool exiting() const;

private:
    OwnedFd dir_;
};

// The descriptor numbers of an open /proc/PID/fd listing, ascending. own: the descriptors the
// reader holds open for the walk, left out when pid is the reader's own process.
void descriptor_numbers(DIR *fd_dir, int pid, std::span<const int> own, std::vector<int> &out);

}  // namespace host
