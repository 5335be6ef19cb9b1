// The /proc/PID directory of one process, held open: files read through it after the check
// belong to that process, or fail, even if the pid is reused meanwhile. The only way into a
// process's files.
#pragma once
#include <dirent.h>

#include <span>
#include <vector>

#include "linux/procfs/process_state.h"
#include "linux/text_file.h"

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
    // /proc/PID (tid 0) or /proc/PID/task/TID, without asking whether pid is a process rather
    // than another's thread: for readers that tell it from what they read (status's Tgid).
    // 0, ESRCH when there is no such task, or the errno of the open.
    int open_task(int pid, int tid);
    int fd() const { return dir_.get(); }
    // A file of the process (a path below its directory, "task/TID/stat"): 0, or the errno of
    // the read; a file that is gone went with its process (ESRCH).
    int read(const char *name, TextFile &out) const;
    // A directory of the process ("fd", "task") held open in out: 0, or the errno of the open
    // (ESRCH when the process is gone).
    int open_dir(const char *name, OwnedFd &out) const;
    // The ids of a process's threads (/proc/PID/task), listed by path: one open, as a listing
    // of ids that come and go is a moment's view in any case.
    static int list_tasks(int pid, std::vector<int> &out);
    // Linux hides the files, maps, arguments and environment of a process whose main thread
    // exited while others run behind that thread; a running thread's directory still shows
    // them. Moves there and returns true in that case; false otherwise.
    bool follow_running_thread();
    // Whether the process (its main thread) is alive, has exited or is exiting, or is gone.
    ProcessState state() const;

private:
    OwnedFd dir_;
};

// The descriptor numbers of an open /proc/PID/fd listing, ascending. own: the descriptors the
// reader holds open for the walk, left out when pid is the reader's own process.
void descriptor_numbers(DIR *fd_dir, int pid, std::span<const int> own, std::vector<int> &out);

}  // namespace host
