// How a struct kinfo_proc is filled from what the host says of a process: the conversions,
// apart from the reads, so that they can be checked on made-up host values.
#pragma once
#include <sys/user.h>
#include <unistd.h>

#include <cstdint>

#include "linux/procfs/procfs.h"

namespace proc_record {

// Linux's task state letter to FreeBSD's ki_stat.
char linux_state_to_freebsd(char state);
// ki_acflag from Linux's task flags.
u_short accounting_flags(uint32_t linux_flags);
// ki_oncpu_old, ki_lastcpu_old: a CPU clamped to one byte, NOCPU_OLD for none.
u_char old_cpu(int cpu);
// A thread's ki_tdflags from its Linux state letter.
long thread_flags(char state);
// ki_kiflag from the process's session and terminal.
long session_flags(const host::ProcStat &st);
// ki_tpgid: 0 without a terminal, NO_PID for a terminal without a foreground group.
pid_t terminal_foreground_group(const host::ProcStat &st);

// The host's units: clock ticks, page size and boot time.
struct HostClock {
    long ticks_per_second = sysconf(_SC_CLK_TCK);
    long page_size = sysconf(_SC_PAGESIZE);
    int64_t boot_time = host::boot_time();

    timeval timeval_of(uint64_t ticks) const {
        return {static_cast<time_t>(ticks / ticks_per_second),
                static_cast<suseconds_t>((ticks % ticks_per_second) * 1000000 / ticks_per_second)};
    }
    segsz_t pages_of_kb(uint64_t kb) const { return static_cast<segsz_t>(kb * 1024 / page_size); }
};

// The whole record of a process; and the fields one thread decides (state, CPU, times, switches).
void fill_process(const host::ProcessSnapshot &s, const HostClock &clock, struct kinfo_proc *kp);
void fill_thread_part(const host::ProcessSnapshot &s, const HostClock &clock, struct kinfo_proc *kp);

}  // namespace proc_record
