// struct kinfo_proc as FreeBSD's fill_kinfo_proc() and fill_kinfo_thread() (kern_proc.c) fill
// it, from what the host says about a process and its threads.
#include "freebsd/sys/kern/kern_proc_kinfo.h"

#include <sys/proc.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "linux/procfs/procfs.h"
#include "freebsd/sys/kern/kern_proc_kinfo_fill.h"
#include "freebsd/translation.h"

namespace proc_record {
namespace {

// FreeBSD's NO_PID (PID_MAX + 1, kernel-only in <sys/proc.h>): a terminal without a foreground group.
constexpr pid_t kNoPid = 100000;
// The old one-byte CPU fields: FreeBSD's NOCPU_OLD and MAXCPU_OLD (kernel-only in <sys/proc.h>).
constexpr u_char kNoCpuOld = 255, kMaxCpuOld = 254;

// Linux's accounting flags to FreeBSD's ki_acflag bits (AFORK, ASU, ACORE, AXSIG of <sys/acct.h>).
constexpr Translation<uint32_t, u_short> kAccountingFlags[] = {
    {host::kLinuxForkNoExec, 0x01},
    {host::kLinuxSuperPriv, 0x02},
    {host::kLinuxDumpCore, 0x08},
    {host::kLinuxSignaled, 0x10},
};

// Linux task states (proc(5)) to FreeBSD's ki_stat.
constexpr Translation<char, char> kStates[] = {
    {'R', SRUN},   // running or runnable
    {'S', SSLEEP}, // interruptible sleep
    {'D', SSLEEP}, // uninterruptible sleep: FreeBSD's SSLEEP without TDF_SINTR
    {'I', SSLEEP}, // idle kernel thread
    {'T', SSTOP},  // stopped by a signal
    {'t', SSTOP},  // stopped by a tracer
    {'Z', SZOMB},
    {'X', SZOMB},  // dead, being reaped
    {'W', SRUN},   // waking
    {'P', SSLEEP}, // parked
};

}  // namespace

char linux_state_to_freebsd(char state) {
    return translate(kStates, state, static_cast<char>(SSLEEP));
}

u_short accounting_flags(uint32_t linux_flags) {
    u_short flags = 0;
    for (const auto &[linux_flag, freebsd_flag] : kAccountingFlags)
        if (linux_flags & linux_flag)
            flags |= freebsd_flag;
    return flags;
}

u_char old_cpu(int cpu) {
    if (cpu < 0)
        return kNoCpuOld;
    return static_cast<u_char>(std::min<int>(cpu, kMaxCpuOld));
}

long thread_flags(char state) {
    // No thread's stack is ever swapped out on Linux; only its S sleep is interruptible, as
    // FreeBSD's sleeps with PCATCH (D is an uninterruptible one, I and P kernel threads idle).
    return state == 'S' ? TDF_INMEM | TDF_SINTR : TDF_INMEM;
}

long session_flags(const host::ProcStat &st) {
    long flags = 0;
    if (st.tty_nr != 0)  // Linux drops the terminal of the whole session with it
        flags |= KI_CTTY;
    if (st.pid == st.session && !st.exited())  // FreeBSD forgets an exited leader
        flags |= KI_SLEADER;
    return flags;
}

pid_t terminal_foreground_group(const host::ProcStat &st) {
    if (st.tty_nr == 0)
        return 0;  // FreeBSD leaves it 0 without a terminal
    return st.tpgid >= 0 ? st.tpgid : kNoPid;
}

namespace {

template <size_t N>
void copy_name(char (&dst)[N], const char *src) {
    size_t n = std::min(std::strlen(src), N - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// The controlling terminal as the host's device number.
uint64_t terminal_device(int tty_nr) {
    if (tty_nr == 0)
        return NODEV;
    return host::terminal_device_number(static_cast<uint32_t>(tty_nr));
}

}  // namespace

void fill_thread_part(const host::ProcessSnapshot &s, const HostClock &clock, struct kinfo_proc *kp) {
    kp->ki_stat = linux_state_to_freebsd(s.stat.state);
    kp->ki_tdflags = thread_flags(s.stat.state);
    kp->ki_lastcpu = s.stat.processor;
    kp->ki_oncpu = s.stat.state == 'R' ? s.stat.processor : NOCPU;
    kp->ki_lastcpu_old = old_cpu(kp->ki_lastcpu);
    kp->ki_oncpu_old = old_cpu(kp->ki_oncpu);
    kp->ki_rusage.ru_utime = clock.timeval_of(s.stat.utime);
    kp->ki_rusage.ru_stime = clock.timeval_of(s.stat.stime);
    kp->ki_rusage.ru_minflt = static_cast<long>(s.stat.minflt);
    kp->ki_rusage.ru_majflt = static_cast<long>(s.stat.majflt);
    kp->ki_rusage.ru_inblock = static_cast<long>(s.io.read_bytes / 512);
    kp->ki_rusage.ru_oublock = static_cast<long>(s.io.write_bytes / 512);
    kp->ki_rusage.ru_nvcsw = static_cast<long>(s.status.voluntary_ctxt_switches);
    kp->ki_rusage.ru_nivcsw = static_cast<long>(s.status.nonvoluntary_ctxt_switches);
    kp->ki_runtime = (s.stat.utime + s.stat.stime) * 1000000 / clock.ticks_per_second;
    copy_name(kp->ki_tdname, s.stat.comm);
    // A name longer than ki_tdname goes on in ki_moretdname, as FreeBSD splits td_name.
    copy_name(kp->ki_moretdname, std::strlen(s.stat.comm) > TDNAMLEN ? s.stat.comm + TDNAMLEN : "");
}

void fill_process(const host::ProcessSnapshot &s, const HostClock &clock, struct kinfo_proc *kp) {
    const host::ProcStat &st = s.stat;
    const host::ProcStatus &status = s.status;
    std::memset(kp, 0, sizeof(*kp));
    kp->ki_structsize = sizeof(*kp);
    kp->ki_pid = st.pid;
    kp->ki_ppid = st.ppid;
    kp->ki_pgid = st.pgrp;
    kp->ki_tpgid = terminal_foreground_group(st);
    kp->ki_sid = st.session;
    kp->ki_tsid = st.tty_nr != 0 ? st.session : 0;
    kp->ki_tdev = terminal_device(st.tty_nr);
    kp->ki_tdev_freebsd11 = static_cast<uint32_t>(kp->ki_tdev);

    kp->ki_ruid = status.uid[0];
    kp->ki_uid = status.uid[1];
    kp->ki_svuid = status.uid[2];
    kp->ki_rgid = status.gid[0];
    kp->ki_svgid = status.gid[2];
    // FreeBSD's group list starts with the effective gid.
    kp->ki_groups[0] = status.gid[1];
    size_t ngroups = std::min<size_t>(status.groups.size(), KI_NGROUPS - 1);
    std::copy_n(status.groups.begin(), ngroups, kp->ki_groups + 1);
    kp->ki_ngroups = static_cast<short>(ngroups + 1);
    if (status.groups.size() > ngroups)
        kp->ki_cr_flags |= KI_CRF_GRP_OVERFLOW;

    kp->ki_size = st.vsize;
    kp->ki_rssize = st.rss;
    kp->ki_tsize = clock.pages_of_kb(status.vm_exe_kb);
    kp->ki_dsize = clock.pages_of_kb(status.vm_data_kb);
    kp->ki_ssize = clock.pages_of_kb(status.vm_stk_kb);

    timeval since_boot = clock.timeval_of(st.starttime);
    kp->ki_start = {clock.boot_time + since_boot.tv_sec, since_boot.tv_usec};
    kp->ki_rusage_ch.ru_utime = clock.timeval_of(st.cutime);
    kp->ki_rusage_ch.ru_stime = clock.timeval_of(st.cstime);
    kp->ki_childtime = clock.timeval_of(st.cutime + st.cstime);
    kp->ki_rusage.ru_maxrss = static_cast<long>(status.vm_hwm_kb);

    long flag = P_INMEM;
    if (st.flags & host::kLinuxKernelThread)
        flag |= P_SYSTEM | P_KPROC;
    if (st.tty_nr != 0)
        flag |= P_CONTROLT;
    if (status.tracer_pid != 0)
        flag |= P_TRACED;
    if (st.num_threads > 1)
        flag |= P_HADTHREADS;
    if (st.exited())
        flag |= P_WEXIT;
    if (st.state == 'T')
        flag |= P_STOPPED_SIG;
    kp->ki_flag = flag;
    kp->ki_sflag = PS_INMEM;  // FreeBSD's legacy copy of P_INMEM, set above
    kp->ki_kiflag = session_flags(st);
    kp->ki_acflag = accounting_flags(st.flags);
    kp->ki_xstat = static_cast<u_short>(st.exit_code);  // FreeBSD's KW_EXITCODE has the same form
    kp->ki_nice = static_cast<signed char>(st.nice);
    kp->ki_tracer = status.tracer_pid;
    kp->ki_numthreads = static_cast<int>(st.num_threads);
    kp->ki_tid = st.pid;  // the first thread's id is the pid
    copy_name(kp->ki_comm, st.comm);
    if (!(st.flags & host::kLinuxKernelThread))
        copy_name(kp->ki_emul, "Linux ELF64");
    fill_thread_part(s, clock, kp);
}

}  // namespace proc_record

using proc_record::fill_process;
using proc_record::fill_thread_part;
using proc_record::HostClock;
using proc_record::linux_state_to_freebsd;

int kinfo_proc_of(pid_t pid, struct kinfo_proc *kp) {
    host::ProcessSnapshot snapshot;
    if (int err = host::read_process(pid, snapshot))
        return err;
    fill_process(snapshot, HostClock{}, kp);
    return 0;
}

int kinfo_proc_threads_of(pid_t pid, std::vector<struct kinfo_proc> &out) {
    host::ProcessSnapshot process;
    if (int err = host::read_process(pid, process))
        return err;
    HostClock clock;
    struct kinfo_proc base;
    fill_process(process, clock, &base);
    std::vector<int> tids;
    if (int err = host::list_tids(pid, tids))
        return err;
    out.clear();
    for (int tid : tids) {
        host::ProcessSnapshot thread;
        if (host::read_thread(pid, tid, thread) != 0)
            continue;  // the thread ended meanwhile
        // A main thread that exited before the others is no thread of a live process.
        if (thread.stat.exited() && base.ki_stat != SZOMB)
            continue;
        struct kinfo_proc &kp = out.emplace_back(base);
        kp.ki_tid = tid;
        fill_thread_part(thread, clock, &kp);
    }
    return 0;
}
