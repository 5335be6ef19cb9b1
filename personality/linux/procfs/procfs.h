// The host's per-process files under /proc, parsed into plain values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "linux/text_file.h"

namespace host {

// /proc/PID/stat (or /proc/PID/task/TID/stat); times in clock ticks.
struct ProcStat {
    int pid = 0;
    char comm[64] = {};
    char state = '?';
    int ppid = 0, pgrp = 0, session = 0, tty_nr = 0, tpgid = 0;
    uint32_t flags = 0;  // PF_* of the kernel
    uint64_t minflt = 0, majflt = 0;
    uint64_t utime = 0, stime = 0, cutime = 0, cstime = 0;
    long nice = 0;
    long num_threads = 0;
    uint64_t starttime = 0;  // ticks after boot
    uint64_t vsize = 0;      // bytes
    int64_t rss = 0;         // pages
    int processor = -1;      // the CPU it last ran on
    int exit_code = 0;       // wait status: the exit status << 8, or the signal that ended or stopped it

    // A zombie ('Z') or a task being reaped ('X'): its files, maps and memory are released.
    bool exited() const { return state == 'Z' || state == 'X'; }
};
bool parse_stat(std::string_view text, ProcStat &out);

constexpr uint32_t kLinuxKernelThread = 0x00200000;  // PF_KTHREAD
// What the task did, as accounting records it: forked and not exec'ed, used root's privilege,
// dumped core, was killed by a signal (PF_FORKNOEXEC, PF_SUPERPRIV, PF_DUMPCORE, PF_SIGNALED).
constexpr uint32_t kLinuxForkNoExec = 0x00000040;
constexpr uint32_t kLinuxSuperPriv = 0x00000100;
constexpr uint32_t kLinuxDumpCore = 0x00000200;
constexpr uint32_t kLinuxSignaled = 0x00000400;

// stat's tty_nr packs a device number its own way: minor bits 0-7 and 20-31, major bits 8-19.
struct TerminalDevice {
    unsigned major, minor;
};
inline TerminalDevice decode_tty_nr(uint32_t tty_nr) {
    return {(tty_nr >> 8) & 0xfff, (tty_nr & 0xff) | ((tty_nr >> 12) & 0xfff00)};
}
// The same terminal as the host's device number.
uint64_t terminal_device_number(uint32_t tty_nr);

// /proc/PID/status: the credentials and what stat lacks.
struct ProcStatus {
    int tgid = 0;          // the process a task belongs to
    uint32_t uid[4] = {};  // real, effective, saved, file system
    uint32_t gid[4] = {};
    std::vector<uint32_t> groups;  // supplementary groups
    int tracer_pid = 0;
    uint64_t vm_exe_kb = 0, vm_data_kb = 0, vm_stk_kb = 0, vm_hwm_kb = 0;
    uint64_t voluntary_ctxt_switches = 0, nonvoluntary_ctxt_switches = 0;
};
bool parse_status(std::string_view text, ProcStatus &out);

// /proc/PID/io: bytes the process caused to be read from and written to storage.
struct ProcIo {
    uint64_t read_bytes = 0, write_bytes = 0;
};
void parse_io(std::string_view text, ProcIo &out);

// Everything the host says about one process (or one of its threads), read file by file;
// a process's context switches are the sum over its threads.
struct ProcessSnapshot {
    ProcStat stat;
    ProcStatus status;
    ProcIo io;  // zero where the host refuses access
};

// 0, or ESRCH when the process (thread) is gone, or the errno of the failed read.
int read_process(int pid, ProcessSnapshot &out);
int read_thread(int pid, int tid, ProcessSnapshot &out);

// 0 when pid names a process (not one of another process's threads), else ESRCH.
int check_process(int pid);

// /proc/PID/cmdline and /proc/PID/environ: NUL-terminated strings one after another; empty
// for kernel threads and zombies. 0, ESRCH for a process that does not exist, or the errno
// of a refused read.
int read_cmdline(int pid, TextFile &out);
int read_environ(int pid, TextFile &out);

// The target of /proc/PID/exe, NUL-terminated and cut to fit. 0; ENOENT when the process has
// no executable (a kernel thread, a zombie); ESTALE when the executable was deleted; ESRCH
// for a process that does not exist; or the errno of a refused read.
int read_exe(int pid, char *path, size_t size);

// The wall-clock time of boot in whole seconds since the Epoch, as /proc/stat's btime.
int64_t boot_time();

// The ids of the host's processes (the numeric entries of /proc), or of one process's threads.
int list_pids(std::vector<int> &out);
int list_tids(int pid, std::vector<int> &out);

}  // namespace host
