// A process's /proc/PID directory held open, and its task/ and fd/ listings.
#include "linux/procfs/process_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "linux/procfs/procfs.h"
#include "linux/text_file.h"

namespace host {

OwnedFd::~OwnedFd() { reset(-1); }

void OwnedFd::reset(int fd) {
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

int ProcessDir::open(int pid) {
    if (int err = open_task(pid, 0))
        return err;
    // Checked after the open: had the pid been reused meanwhile, the directory held open
    // belongs to the process that ended, and reads through it fail.
    return check_process(pid);
}

int ProcessDir::open_task(int pid, int tid) {
    if (pid <= 0 || tid < 0)
        return ESRCH;
    char path[48];
    if (tid == 0)
        std::snprintf(path, sizeof(path), "/proc/%d", pid);
    else
        std::snprintf(path, sizeof(path), "/proc/%d/task/%d", pid, tid);
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int err = errno;
    dir_.reset(fd);
    if (fd < 0)
        return err == ENOENT ? ESRCH : err;
    return 0;
}

int ProcessDir::read(const char *name, TextFile &out) const {
    int err = out.read_at(fd(), name);
    return err == ENOENT ? ESRCH : err;
}

int ProcessDir::open_dir(const char *name, OwnedFd &out) const {
    int dir = openat(fd(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int err = errno;
    out.reset(dir);
    if (dir < 0)
        return err == ENOENT ? ESRCH : err;
    return 0;
}

int ProcessDir::list_tasks(int pid, std::vector<int> &out) {
    out.clear();
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d/task", pid);
    DIR *dir = opendir(path);
    if (dir == nullptr)
        return errno == ENOENT ? ESRCH : errno;
    while (const struct dirent *entry = readdir(dir))
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9')
            out.push_back(static_cast<int>(to_ll(entry->d_name)));
    closedir(dir);
    return 0;
}

namespace {

bool read_stat_at(int dirfd, const char *name, ProcStat &out) {
    TextFile file;
    return file.read_at(dirfd, name) == 0 && parse_stat(file.text(), out);
}

}  // namespace

ProcessState ProcessDir::state() const {
    ProcStat stat;
    if (!read_stat_at(fd(), "stat", stat))
        return ProcessState::gone;
    return stat.exited() ? ProcessState::exited : ProcessState::alive;
}

bool ProcessDir::follow_running_thread() {
    ProcStat leader;
    if (!read_stat_at(fd(), "stat", leader) || !leader.exited() || leader.num_threads <= 1)
        return false;
    int tasks_fd = openat(fd(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (tasks_fd < 0)
        return false;
    DIR *tasks = fdopendir(tasks_fd);
    if (tasks == nullptr) {
        close(tasks_fd);
        return false;
    }
    bool moved = false;
    while (const struct dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        OwnedFd task(openat(tasks_fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ProcStat thread;
        if (task.get() >= 0 && read_stat_at(task.get(), "stat", thread) && !thread.exited()) {
            dir_.reset(task.release());
            moved = true;
            break;
        }
    }
    closedir(tasks);
    return moved;
}

void descriptor_numbers(DIR *fd_dir, int pid, std::span<const int> own, std::vector<int> &out) {
    out.clear();
    const bool self = pid == getpid();
    while (const struct dirent *entry = readdir(fd_dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        int number = static_cast<int>(to_ll(entry->d_name));
        if (!self || std::find(own.begin(), own.end(), number) == own.end())
            out.push_back(number);
    }
    std::sort(out.begin(), out.end());
}

}  // namespace host
