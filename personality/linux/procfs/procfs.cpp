// /proc/PID/{stat,status,io,cmdline,environ,exe} and task/ parsed (proc(5)); /proc/stat's btime.
#include "linux/procfs/procfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "linux/procfs/process_dir.h"
#include "linux/text_file.h"

namespace host {

bool parse_stat(std::string_view text, ProcStat &out) {
    // "pid (comm) state ...": comm may hold spaces and parentheses, so it ends at the last ')'.
    size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return false;
    out.pid = static_cast<int>(to_ll(text.substr(0, open)));
    std::string_view comm = text.substr(open + 1, close - open - 1);
    size_t n = comm.copy(out.comm, sizeof(out.comm) - 1);
    out.comm[n] = '\0';

    std::string_view rest = text.substr(close + 1);
    std::string_view f[50];  // fields 3 to 52, counted from 1 as in proc(5)
    size_t count = 0;
    while (count < std::size(f)) {
        std::string_view field = next_field(rest);
        if (field.empty())
            break;
        f[count++] = field;
    }
    if (count < 37)  // up to field 39, processor
        return false;
    auto at = [&](int number) { return f[number - 3]; };
    out.state = at(3)[0];
    out.ppid = static_cast<int>(to_ll(at(4)));
    out.pgrp = static_cast<int>(to_ll(at(5)));
    out.session = static_cast<int>(to_ll(at(6)));
    out.tty_nr = static_cast<int>(to_ll(at(7)));
    out.tpgid = static_cast<int>(to_ll(at(8)));
    out.flags = static_cast<uint32_t>(to_ull(at(9)));
    out.minflt = to_ull(at(10));
    out.majflt = to_ull(at(12));
    out.utime = to_ull(at(14));
    out.stime = to_ull(at(15));
    out.cutime = to_ull(at(16));
    out.cstime = to_ull(at(17));
    out.nice = static_cast<long>(to_ll(at(19)));
    out.num_threads = static_cast<long>(to_ll(at(20)));
    out.starttime = to_ull(at(22));
    out.vsize = to_ull(at(23));
    out.rss = to_ll(at(24));
    out.processor = static_cast<int>(to_ll(at(39)));
    if (count >= 50)  // since Linux 3.5; 0 to a reader the kernel would not let trace the task
        out.exit_code = static_cast<int>(to_ll(at(52)));
    return true;
}

namespace {

template <size_t N>
void parse_ids(std::string_view value, uint32_t (&ids)[N]) {
    for (auto &id : ids)
        id = static_cast<uint32_t>(to_ull(next_field(value)));
}

}  // namespace

bool parse_status(std::string_view text, ProcStatus &out) {
    bool has_uid = false;
    for_each_key_value(text, [&](std::string_view key, std::string_view value) {
        if (key == "Tgid") {
            out.tgid = static_cast<int>(to_ll(next_field(value)));
        } else if (key == "Uid") {
            parse_ids(value, out.uid);
            has_uid = true;
        } else if (key == "Gid") {
            parse_ids(value, out.gid);
        } else if (key == "Groups") {
            out.groups.clear();
            for (std::string_view g = next_field(value); !g.empty(); g = next_field(value))
                out.groups.push_back(static_cast<uint32_t>(to_ull(g)));
        } else if (key == "TracerPid") {
            out.tracer_pid = static_cast<int>(to_ll(next_field(value)));
        } else if (key == "VmExe") {
            out.vm_exe_kb = to_ull(next_field(value));
        } else if (key == "VmData") {
            out.vm_data_kb = to_ull(next_field(value));
        } else if (key == "VmStk") {
            out.vm_stk_kb = to_ull(next_field(value));
        } else if (key == "VmHWM") {
            out.vm_hwm_kb = to_ull(next_field(value));
        } else if (key == "voluntary_ctxt_switches") {
            out.voluntary_ctxt_switches = to_ull(next_field(value));
        } else if (key == "nonvoluntary_ctxt_switches") {
            out.nonvoluntary_ctxt_switches = to_ull(next_field(value));
        }
    });
    return has_uid;
}

void parse_io(std::string_view text, ProcIo &out) {
    for_each_key_value(text, [&](std::string_view key, std::string_view value) {
        if (key == "read_bytes")
            out.read_bytes = to_ull(next_field(value));
        else if (key == "write_bytes")
            out.write_bytes = to_ull(next_field(value));
    });
}

namespace {

int read_snapshot(const ProcessDir &proc, ProcessSnapshot &out) {
    TextFile file;
    int err = proc.read("stat", file);
    if (err == 0 && !parse_stat(file.text(), out.stat))
        err = ESRCH;  // an empty stat: the task is being reaped
    if (err == 0) {
        err = proc.read("status", file);
        if (err == 0 && !parse_status(file.text(), out.status))
            err = ESRCH;
    }
    if (err == 0 && proc.read("io", file) == 0)
        parse_io(file.text(), out.io);
    return err;
}

int list_numeric(const char *path, std::vector<int> &out) {
    DIR *dir = opendir(path);
    if (dir == nullptr)
        return errno;
    out.clear();
    while (struct dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] < '1' || name[0] > '9')
            continue;
        out.push_back(static_cast<int>(to_ll(name)));
    }
    closedir(dir);
    return 0;
}

// What the threads of a multi-threaded process add: the sum of their context switches and,
// when the main thread has exited while others run (Linux then shows the process as a
// zombie without memory), the state, CPU and memory sizes of a thread that still runs.
void merge_threads(int pid, const ProcessDir &proc, ProcessSnapshot &out) {
    std::vector<int> tids;
    if (ProcessDir::list_tasks(pid, tids) != 0)
        return;
    char path[64];
    TextFile file;
    ProcStatus status;
    ProcStat stat;
    bool leader_exited = out.stat.exited();
    out.status.voluntary_ctxt_switches = out.status.nonvoluntary_ctxt_switches = 0;
    for (int tid : tids) {
        std::snprintf(path, sizeof(path), "task/%d/status", tid);
        if (proc.read(path, file) != 0 || !parse_status(file.text(), status))
            continue;  // the thread ended meanwhile
        out.status.voluntary_ctxt_switches += status.voluntary_ctxt_switches;
        out.status.nonvoluntary_ctxt_switches += status.nonvoluntary_ctxt_switches;
        std::snprintf(path, sizeof(path), "task/%d/stat", tid);
        if (leader_exited && proc.read(path, file) == 0 && parse_stat(file.text(), stat) && !stat.exited()) {
            out.stat.state = stat.state;
            out.stat.processor = stat.processor;
            out.stat.vsize = stat.vsize;
            out.stat.rss = stat.rss;
            out.status.vm_exe_kb = status.vm_exe_kb;
            out.status.vm_data_kb = status.vm_data_kb;
            out.status.vm_stk_kb = status.vm_stk_kb;
            out.status.vm_hwm_kb = status.vm_hwm_kb;
            leader_exited = false;
        }
    }
}

}  // namespace

uint64_t terminal_device_number(uint32_t tty_nr) {
    TerminalDevice device = decode_tty_nr(tty_nr);
    return makedev(device.major, device.minor);
}

int64_t boot_time() {
    // realtime - boottime is fixed between clock steps; bracketing the realtime reading by two
    // boottime readings pins its whole seconds down exactly, as the kernel's own btime.
    for (;;) {
        timespec before, real, after;
        clock_gettime(CLOCK_BOOTTIME, &before);
        clock_gettime(CLOCK_REALTIME, &real);
        clock_gettime(CLOCK_BOOTTIME, &after);
        auto seconds = [&](const timespec &boot) {
            int64_t ns = (real.tv_sec - boot.tv_sec) * 1000000000LL + (real.tv_nsec - boot.tv_nsec);
            return ns >= 0 ? ns / 1000000000LL : -((-ns + 999999999LL) / 1000000000LL);
        };
        if (seconds(before) == seconds(after))
            return seconds(before);
    }
}

int read_process(int pid, ProcessSnapshot &out) {
    ProcessDir proc;
    if (int err = proc.open_task(pid, 0))
        return err;
    if (int err = read_snapshot(proc, out))
        return err;
    if (out.status.tgid != pid)  // /proc/TID answers for a thread too: not a process
        return ESRCH;
    if (out.stat.num_threads > 1)
        merge_threads(pid, proc, out);
    return 0;
}

int read_thread(int pid, int tid, ProcessSnapshot &out) {
    ProcessDir proc;
    if (int err = proc.open_task(pid, tid <= 0 ? -1 : tid))
        return err;
    return read_snapshot(proc, out);
}

int check_process(int pid) {
    if (pid <= 0)
        return ESRCH;
    // pidfd_open takes only a thread-group leader: EINVAL names another process's thread.
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        close(fd);
        return 0;
    }
    if (errno == ESRCH || errno == EINVAL)
        return ESRCH;
    // Without pidfds (or descriptors to spare), the status file tells.
    ProcessDir proc;
    TextFile file;
    ProcStatus status;
    if (proc.open_task(pid, 0) != 0 || proc.read("status", file) != 0 || !parse_status(file.text(), status) ||
        status.tgid != pid)
        return ESRCH;
    return 0;
}

namespace {

int read_process_file(int pid, const char *name, TextFile &out) {
    ProcessDir proc;
    if (int err = proc.open(pid))
        return err;
    int err = out.read_at(proc.fd(), name);
    bool nothing = err == ENOENT || err == ESRCH || (err == 0 && out.text().empty());
    if (nothing && proc.follow_running_thread())
        err = out.read_at(proc.fd(), name);
    if (err == ENOENT || err == ESRCH) {
        // An exiting process's files may refuse to open; while it is a zombie it still
        // exists, with nothing left to tell.
        if (check_process(pid) != 0)
            return ESRCH;
        out.clear();
        return 0;
    }
    return err;
}

}  // namespace

int read_cmdline(int pid, TextFile &out) { return read_process_file(pid, "cmdline", out); }

int read_environ(int pid, TextFile &out) { return read_process_file(pid, "environ", out); }

int read_exe(int pid, char *path, size_t size) {
    ProcessDir proc;
    if (int err = proc.open(pid))
        return err;
    ssize_t n = readlinkat(proc.fd(), "exe", path, size - 1);
    if (n < 0 && errno == ENOENT && proc.follow_running_thread())
        n = readlinkat(proc.fd(), "exe", path, size - 1);
    if (n < 0) {
        int err = errno;
        return err == ENOENT && check_process(pid) != 0 ? ESRCH : err;
    }
    path[n] = '\0';
    struct stat st;
    if (fstatat(proc.fd(), "exe", &st, 0) == 0 && st.st_nlink == 0)  // deleted: no name left
        return ESTALE;
    return 0;
}

int list_pids(std::vector<int> &out) { return list_numeric("/proc", out); }

int list_tids(int pid, std::vector<int> &out) { return ProcessDir::list_tasks(pid, out); }

}  // namespace host
