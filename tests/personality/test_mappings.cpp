// Every conversion of MAPPING.md, one table each, fed made-up host values: a state, a flag, a
// unit or a number translated wrongly fails its row.
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/proc.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/user.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "freebsd/kernel_addresses.h"
#include "freebsd/sys/kern/kern_descrip.h"
#include "freebsd/sys/kern/kern_proc.h"
#include "linux/procfs/descriptor_kind.h"
#include "linux/procfs/fds.h"
#include "linux/procfs/procfs.h"
#include "linux/syscalls/rlimits.h"
#include "linux/net/proc_net.h"
#include "freebsd/sys/kern/kern_proc_conversions.h"
#include "freebsd/lib/libutil/kinfo_getfile_conversions.h"
#include "freebsd/lib/libutil/kinfo_getvmmap_conversions.h"
#include "freebsd/sys/kern/kern_proc_kinfo_fill.h"

namespace {

// --- struct kinfo_proc ---------------------------------------------------------------------

TEST(ProcMapping, LinuxStatesToFreebsd) {
    const struct {
        char linux_state, freebsd_state;
    } rows[] = {
        {'R', SRUN},   {'W', SRUN},  {'S', SSLEEP}, {'D', SSLEEP}, {'I', SSLEEP}, {'P', SSLEEP},
        {'T', SSTOP},  {'t', SSTOP}, {'Z', SZOMB},  {'X', SZOMB},  {'?', SSLEEP},
    };
    for (const auto &row : rows)
        EXPECT_EQ(proc_record::linux_state_to_freebsd(row.linux_state), row.freebsd_state) << row.linux_state;
}

TEST(ProcMapping, LinuxTaskFlagsToAccountingFlags) {
    const struct {
        uint32_t linux_flags;
        u_short acflag;
    } rows[] = {
        {0, 0},
        {host::kLinuxForkNoExec, 0x01},  // AFORK
        {host::kLinuxSuperPriv, 0x02},   // ASU
        {host::kLinuxDumpCore, 0x08},    // ACORE
        {host::kLinuxSignaled, 0x10},    // AXSIG
        {host::kLinuxForkNoExec | host::kLinuxSignaled | host::kLinuxKernelThread, 0x11},
    };
    for (const auto &row : rows)
        EXPECT_EQ(proc_record::accounting_flags(row.linux_flags), row.acflag) << row.linux_flags;
}

TEST(ProcMapping, OldCpuFieldsClampToOneByte) {
    const struct {
        int cpu;
        u_char old;
    } rows[] = {{NOCPU, 255}, {0, 0}, {3, 3}, {254, 254}, {255, 254}, {4000, 254}};
    for (const auto &row : rows)
        EXPECT_EQ(proc_record::old_cpu(row.cpu), row.old) << row.cpu;
}

// ps(1) prints S only for a sleep with TDF_SINTR, D for one without.
TEST(ProcMapping, LinuxStatesToThreadFlags) {
    const struct {
        char linux_state;
        long tdflags;
    } rows[] = {
        {'R', TDF_INMEM}, {'W', TDF_INMEM}, {'S', TDF_INMEM | TDF_SINTR}, {'D', TDF_INMEM}, {'I', TDF_INMEM},
        {'P', TDF_INMEM}, {'T', TDF_INMEM}, {'t', TDF_INMEM}, {'Z', TDF_INMEM}, {'X', TDF_INMEM},
    };
    for (const auto &row : rows)
        EXPECT_EQ(proc_record::thread_flags(row.linux_state), row.tdflags) << row.linux_state;
}

// 100 ticks a second, 4 KiB pages, booted at second 1000 of the Epoch.
const proc_record::HostClock kClock{.ticks_per_second = 100, .page_size = 4096, .boot_time = 1000};

struct kinfo_proc record_of(const std::function<void(host::ProcessSnapshot &)> &host_values) {
    host::ProcessSnapshot s;
    s.stat.pid = 4242;
    s.stat.state = 'S';
    s.stat.num_threads = 1;
    std::strcpy(s.stat.comm, "made-up");
    host_values(s);
    struct kinfo_proc kp;
    std::memset(&kp, 0xa5, sizeof(kp));
    proc_record::fill_process(s, kClock, &kp);
    return kp;
}

int64_t us(const timeval &tv) { return tv.tv_sec * 1000000 + tv.tv_usec; }

TEST(ProcMapping, HostValuesToRecordFields) {
    using S = host::ProcessSnapshot;
    using K = const struct kinfo_proc;
    const struct {
        const char *mapping;
        std::function<void(S &)> host;
        std::function<int64_t(K &)> field;
        int64_t expected;
    } rows[] = {
        {"io bytes in 512-byte blocks", [](S &s) { s.io.read_bytes = 5120 + 511; }, [](K &k) { return k.ki_rusage.ru_inblock; }, 10},
        {"io bytes out in 512-byte blocks", [](S &s) { s.io.write_bytes = 1536; }, [](K &k) { return k.ki_rusage.ru_oublock; }, 3},
        {"VmExe kB in pages", [](S &s) { s.status.vm_exe_kb = 40; }, [](K &k) { return k.ki_tsize; }, 10},
        {"VmData kB in pages", [](S &s) { s.status.vm_data_kb = 8; }, [](K &k) { return k.ki_dsize; }, 2},
        {"VmStk kB in pages", [](S &s) { s.status.vm_stk_kb = 132; }, [](K &k) { return k.ki_ssize; }, 33},
        {"rss pages as is", [](S &s) { s.stat.rss = 77; }, [](K &k) { return k.ki_rssize; }, 77},
        {"vsize bytes as is", [](S &s) { s.stat.vsize = 123456789; }, [](K &k) { return static_cast<int64_t>(k.ki_size); }, 123456789},
        {"VmHWM kB as is", [](S &s) { s.status.vm_hwm_kb = 555; }, [](K &k) { return k.ki_rusage.ru_maxrss; }, 555},
        {"utime ticks", [](S &s) { s.stat.utime = 150; }, [](K &k) { return us(k.ki_rusage.ru_utime); }, 1500000},
        {"stime ticks", [](S &s) { s.stat.stime = 7; }, [](K &k) { return us(k.ki_rusage.ru_stime); }, 70000},
        {"cutime ticks", [](S &s) { s.stat.cutime = 201; }, [](K &k) { return us(k.ki_rusage_ch.ru_utime); }, 2010000},
        {"cstime ticks", [](S &s) { s.stat.cstime = 3; }, [](K &k) { return us(k.ki_rusage_ch.ru_stime); }, 30000},
        {"child time", [](S &s) { s.stat.cutime = 100, s.stat.cstime = 50; }, [](K &k) { return us(k.ki_childtime); }, 1500000},
        {"runtime in microseconds", [](S &s) { s.stat.utime = 3, s.stat.stime = 4; }, [](K &k) { return static_cast<int64_t>(k.ki_runtime); }, 70000},
        {"start after boot", [](S &s) { s.stat.starttime = 250; }, [](K &k) { return us(k.ki_start); }, 1002500000},
        {"faults", [](S &s) { s.stat.minflt = 9, s.stat.majflt = 2; }, [](K &k) { return k.ki_rusage.ru_minflt * 100 + k.ki_rusage.ru_majflt; }, 902},
        {"switches", [](S &s) { s.status.voluntary_ctxt_switches = 4, s.status.nonvoluntary_ctxt_switches = 6; }, [](K &k) { return k.ki_rusage.ru_nvcsw * 100 + k.ki_rusage.ru_nivcsw; }, 406},
        {"ids", [](S &s) { s.stat.ppid = 1, s.stat.pgrp = 2, s.stat.session = 3; }, [](K &k) { return k.ki_ppid * 100 + k.ki_pgid * 10 + k.ki_sid; }, 123},
        {"terminal's foreground group", [](S &s) { s.stat.tty_nr = 34817, s.stat.tpgid = 4; }, [](K &k) { return k.ki_tpgid; }, 4},
        {"terminal without a foreground group", [](S &s) { s.stat.tty_nr = 34817, s.stat.tpgid = -1; }, [](K &k) { return k.ki_tpgid; }, 100000},
        {"no terminal, no foreground group", [](S &s) { s.stat.tpgid = -1; }, [](K &k) { return k.ki_tpgid; }, 0},
        {"session leader", [](S &s) { s.stat.session = 4242; }, [](K &k) { return k.ki_kiflag; }, KI_SLEADER},
        {"session leader on a terminal", [](S &s) { s.stat.session = 4242, s.stat.tty_nr = 34817; }, [](K &k) { return k.ki_kiflag; }, KI_SLEADER | KI_CTTY},
        {"session member on a terminal", [](S &s) { s.stat.session = 7, s.stat.tty_nr = 34817; }, [](K &k) { return k.ki_kiflag; }, KI_CTTY},
        {"exited session leader", [](S &s) { s.stat.session = 4242, s.stat.state = 'Z'; }, [](K &k) { return k.ki_kiflag; }, 0},
        {"session member", [](S &s) { s.stat.session = 7; }, [](K &k) { return k.ki_kiflag; }, 0},
        {"resident", [](S &) {}, [](K &k) { return k.ki_sflag; }, PS_INMEM},
        {"exit status as the wait status", [](S &s) { s.stat.state = 'Z', s.stat.exit_code = 3 << 8; }, [](K &k) { return k.ki_xstat; }, 3 << 8},
        {"first thread's flags", [](S &s) { s.stat.state = 'D'; }, [](K &k) { return k.ki_tdflags; }, TDF_INMEM},
        {"uids real, effective, saved", [](S &s) { s.status.uid[0] = 1, s.status.uid[1] = 2, s.status.uid[2] = 3; }, [](K &k) { return k.ki_ruid * 100 + k.ki_uid * 10 + k.ki_svuid; }, 123},
        {"gids real, effective first, saved", [](S &s) { s.status.gid[0] = 4, s.status.gid[1] = 5, s.status.gid[2] = 6, s.status.groups = {7}; }, [](K &k) { return k.ki_rgid * 1000 + k.ki_groups[0] * 100 + k.ki_svgid * 10 + k.ki_groups[1]; }, 4567},
        {"group count", [](S &s) { s.status.groups = {1, 2, 3}; }, [](K &k) { return k.ki_ngroups; }, 4},
        {"group overflow", [](S &s) { s.status.groups.assign(16, 9); }, [](K &k) { return k.ki_cr_flags * 100 + k.ki_ngroups; }, KI_CRF_GRP_OVERFLOW * 100 + 16},
        {"no terminal", [](S &) {}, [](K &k) { return static_cast<int64_t>(k.ki_tdev); }, static_cast<int64_t>(NODEV)},
        {"terminal device", [](S &s) { s.stat.tty_nr = 34817; }, [](K &k) { return static_cast<int64_t>(k.ki_tdev); }, static_cast<int64_t>(host::terminal_device_number(34817))},
        {"terminal session", [](S &s) { s.stat.tty_nr = 34817, s.stat.session = 12; }, [](K &k) { return k.ki_tsid; }, 12},
        {"no terminal session", [](S &s) { s.stat.session = 12; }, [](K &k) { return k.ki_tsid; }, 0},
        {"in memory", [](S &) {}, [](K &k) { return k.ki_flag; }, P_INMEM},
        {"traced", [](S &s) { s.status.tracer_pid = 77; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_TRACED},
        {"tracer", [](S &s) { s.status.tracer_pid = 77; }, [](K &k) { return k.ki_tracer; }, 77},
        {"kernel thread", [](S &s) { s.stat.flags = host::kLinuxKernelThread; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_SYSTEM | P_KPROC},
        {"controlling terminal", [](S &s) { s.stat.tty_nr = 34817; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_CONTROLT},
        {"threads", [](S &s) { s.stat.num_threads = 3; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_HADTHREADS},
        {"thread count", [](S &s) { s.stat.num_threads = 3; }, [](K &k) { return k.ki_numthreads; }, 3},
        {"zombie", [](S &s) { s.stat.state = 'Z'; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_WEXIT},
        {"being reaped", [](S &s) { s.stat.state = 'X'; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_WEXIT},
        {"stopped", [](S &s) { s.stat.state = 'T'; }, [](K &k) { return k.ki_flag; }, P_INMEM | P_STOPPED_SIG},
        {"nice", [](S &s) { s.stat.nice = -5; }, [](K &k) { return k.ki_nice; }, -5},
        {"running: on its CPU", [](S &s) { s.stat.state = 'R', s.stat.processor = 3; }, [](K &k) { return k.ki_oncpu * 10 + k.ki_lastcpu; }, 33},
        {"asleep: on no CPU", [](S &s) { s.stat.processor = 3; }, [](K &k) { return k.ki_oncpu; }, NOCPU},
        {"last CPU", [](S &s) { s.stat.processor = 3; }, [](K &k) { return k.ki_lastcpu; }, 3},
        {"first thread id", [](S &) {}, [](K &k) { return k.ki_tid; }, 4242},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.field(record_of(row.host)), row.expected) << row.mapping;
}

TEST(ProcMapping, NamesAreCutToTheirFields) {
    const struct {
        const char *comm, *expected_comm, *expected_tdname, *expected_moretdname, *expected_emul;
        uint32_t flags;
    } rows[] = {
        {"short", "short", "short", "", "Linux ELF64", 0},
        {"a-kernel-thread-name-longer", "a-kernel-thread-nam", "a-kernel-thread-", "nam", "", host::kLinuxKernelThread},
    };
    for (const auto &row : rows) {
        struct kinfo_proc kp = record_of([&](host::ProcessSnapshot &s) {
            std::strcpy(s.stat.comm, row.comm);
            s.stat.flags = row.flags;
        });
        EXPECT_STREQ(kp.ki_comm, row.expected_comm);
        EXPECT_STREQ(kp.ki_tdname, row.expected_tdname);
        EXPECT_STREQ(kp.ki_moretdname, row.expected_moretdname);
        EXPECT_STREQ(kp.ki_emul, row.expected_emul);
    }
}

// --- kern.proc nodes ---------------------------------------------------------------------

TEST(KernProcMapping, ProcessTableProbeAddsFiveRecords) {
    const struct {
        size_t processes, bytes;
    } rows[] = {{0, 5 * 1088}, {1, 6 * 1088}, {300, 305 * 1088}};
    for (const auto &row : rows)
        EXPECT_EQ(kern_proc::process_table_probe_size(row.processes), row.bytes) << row.processes;
}

TEST(KernProcMapping, FreebsdResourcesToLinuxOnes) {
    // FreeBSD's resource number and Linux's (x86-64), or -1 where Linux has no such limit.
    const struct {
        int freebsd, linux_resource;
    } rows[] = {
        {RLIMIT_CPU, 0},   {RLIMIT_FSIZE, 1},   {RLIMIT_DATA, 2},  {RLIMIT_STACK, 3},   {RLIMIT_CORE, 4},
        {RLIMIT_RSS, 5},   {RLIMIT_MEMLOCK, 8}, {RLIMIT_NPROC, 6}, {RLIMIT_NOFILE, 7},  {RLIMIT_SBSIZE, -1},
        {RLIMIT_VMEM, 9},  {RLIMIT_NPTS, -1},   {RLIMIT_SWAP, -1}, {RLIMIT_KQUEUES, -1}, {RLIMIT_UMTXP, -1},
    };
    ASSERT_EQ(std::size(rows), static_cast<size_t>(RLIM_NLIMITS));
    for (const auto &row : rows) {
        std::optional<host::Limit> limit = kern_proc::host_limit(row.freebsd);
        EXPECT_EQ(limit ? host::linux_resource(*limit) : -1, row.linux_resource) << row.freebsd;
    }
}

TEST(KernProcMapping, LimitValues) {
    const struct {
        uint64_t host;
        rlim_t freebsd;
    } to_freebsd[] = {{0, 0}, {1024, 1024}, {host::kUnlimited, RLIM_INFINITY}, {uint64_t{1} << 63, RLIM_INFINITY}};
    for (const auto &row : to_freebsd)
        EXPECT_EQ(kern_proc::freebsd_limit(row.host), row.freebsd) << row.host;
    const struct {
        rlim_t freebsd;
        uint64_t host;
    } to_host[] = {{0, 0}, {4096, 4096}, {RLIM_INFINITY, host::kUnlimited}, {-1, host::kUnlimited}, {INT64_MIN, host::kUnlimited}};
    for (const auto &row : to_host)
        EXPECT_EQ(kern_proc::host_value(row.freebsd), row.host) << row.freebsd;
}

TEST(KernProcMapping, LimitsFileLines) {
    constexpr const char kLimits[] =
        "Limit                     Soft Limit           Hard Limit           Units     \n"
        "Max cpu time              unlimited            unlimited            seconds   \n"
        "Max processes             31283                31284                processes \n"
        "Max open files            1024                 524288               files     \n"
        "Max locked memory         8388608              8388608              bytes     \n";
    const struct {
        host::Limit limit;
        bool found;
        uint64_t soft, hard;
    } rows[] = {
        {host::Limit::cpu, true, host::kUnlimited, host::kUnlimited},
        {host::Limit::nproc, true, 31283, 31284},
        {host::Limit::nofile, true, 1024, 524288},
        {host::Limit::memlock, true, 8388608, 8388608},
        {host::Limit::as, false, 0, 0},
    };
    for (const auto &row : rows) {
        host::LimitPair pair{0, 0};
        EXPECT_EQ(host::parse_limits(kLimits, row.limit, pair), row.found);
        EXPECT_EQ(pair.soft, row.soft);
        EXPECT_EQ(pair.hard, row.hard);
    }
}

// --- kinfo_getfile ---------------------------------------------------------------------------

TEST(GetfileMapping, FileKindsToVnodeTypes) {
    const struct {
        uint32_t mode;
        int vnode_type;
    } rows[] = {
        {host::linux_mode::regular | 0644, KF_VTYPE_VREG}, {host::linux_mode::directory | 0755, KF_VTYPE_VDIR},
        {host::linux_mode::char_device, KF_VTYPE_VCHR},    {host::linux_mode::block_device, KF_VTYPE_VBLK},
        {host::linux_mode::symlink, KF_VTYPE_VLNK},        {host::linux_mode::socket, KF_VTYPE_VSOCK},
        {host::linux_mode::fifo, KF_VTYPE_VFIFO},          {0, KF_VTYPE_UNKNOWN},
    };
    for (const auto &row : rows)
        EXPECT_EQ(getfile::linux_mode_to_vnode_type(row.mode), row.vnode_type) << std::oct << row.mode;
}

// The host tells descriptors apart once; FreeBSD names each kind twice, in kern.file and in
// kinfo_getfile's records.
TEST(DescriptorKinds, FromLinksAndStat) {
    using K = host::DescriptorKind;
    const struct {
        const char *link;
        uint32_t mode;  // 0: not stat'ed
        bool pty_master;
        K kind;
    } rows[] = {
        {"pipe:[123]", 0, false, K::pipe},
        {"socket:[123]", 0, false, K::socket},
        {"anon_inode:[eventfd]", 0, false, K::eventfd},
        {"anon_inode:[eventpoll]", 0, false, K::eventpoll},
        {"anon_inode:[timerfd]", 0, false, K::timerfd},
        {"anon_inode:[pidfd]", 0, false, K::pidfd},
        {"anon_inode:inotify", 0, false, K::unknown},
        {"net:[4026531840]", 0, false, K::unknown},
        {"/memfd:cache (deleted)", host::linux_mode::regular, false, K::memfd},
        {"/home/a.txt", host::linux_mode::regular, false, K::file},
        {"/etc/passwd", 0, false, K::file},
        {"/tmp/fifo", host::linux_mode::fifo, false, K::named_pipe},
        {"/tmp/fifo", 0, false, K::file},  // without a stat, a path is a file
        {"/dev/ptmx", host::linux_mode::char_device, true, K::pty_master},
        {"/dev/ptmx", 0, false, K::pty_master},  // without a stat, by its path
    };
    for (const auto &row : rows) {
        host::FileFacts f;
        f.link = row.link;
        f.has_stat = row.mode != 0;
        f.mode = row.mode;
        f.pty_master = row.pty_master;
        EXPECT_EQ(host::descriptor_kind(f), row.kind) << row.link;
        if (!f.has_stat) {
            EXPECT_EQ(host::descriptor_kind(row.link), row.kind) << row.link;
        }
    }
}

TEST(DescriptorKinds, FreebsdFileTypes) {
    using K = host::DescriptorKind;
    const struct {
        K kind;
        int dtype, kf_type;
    } rows[] = {
        {K::unknown, DTYPE_NONE, KF_TYPE_UNKNOWN},        {K::file, DTYPE_VNODE, KF_TYPE_VNODE},
        {K::named_pipe, DTYPE_FIFO, KF_TYPE_FIFO},        {K::pty_master, DTYPE_PTS, KF_TYPE_PTS},
        {K::pipe, DTYPE_PIPE, KF_TYPE_PIPE},              {K::socket, DTYPE_SOCKET, KF_TYPE_SOCKET},
        {K::eventfd, DTYPE_EVENTFD, KF_TYPE_EVENTFD},     {K::eventpoll, DTYPE_KQUEUE, KF_TYPE_KQUEUE},
        {K::timerfd, DTYPE_TIMERFD, KF_TYPE_TIMERFD},     {K::pidfd, DTYPE_PROCDESC, KF_TYPE_PROCDESC},
        {K::memfd, DTYPE_SHM, KF_TYPE_SHM},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(descriptor_kind_to_dtype(row.kind), row.dtype) << static_cast<int>(row.kind);
        EXPECT_EQ(getfile::descriptor_kind_to_file_type(row.kind), row.kf_type) << static_cast<int>(row.kind);
    }
}

TEST(GetfileMapping, OpenFlagsToFreebsd) {
    namespace o = host::linux_open;
    const struct {
        uint32_t linux_flags;
        int kf_flags;
    } rows[] = {
        {o::read_only, KF_FLAG_READ},
        {o::write_only, KF_FLAG_WRITE},
        {o::read_write, KF_FLAG_READ | KF_FLAG_WRITE},
        {o::path, 0},  // neither reads nor writes
        {o::write_only | o::append, KF_FLAG_WRITE | KF_FLAG_APPEND},
        {o::read_only | o::async, KF_FLAG_READ | KF_FLAG_ASYNC},
        {o::read_only | o::sync, KF_FLAG_READ | KF_FLAG_FSYNC},
        {o::read_only | o::dsync, KF_FLAG_READ},  // O_DSYNC alone is no O_SYNC
        {o::read_only | o::nonblock, KF_FLAG_READ | KF_FLAG_NONBLOCK},
        {o::read_only | o::direct, KF_FLAG_READ | KF_FLAG_DIRECT},
        {o::read_only | o::nofollow, KF_FLAG_READ | KF_FLAG_NOFOLLOW},
    };
    for (const auto &row : rows)
        EXPECT_EQ(getfile::linux_open_flags_to_freebsd(row.linux_flags), row.kf_flags) << std::oct << row.linux_flags;
}

TEST(GetfileMapping, SocketFamiliesAndTypes) {
    const struct {
        host::SocketFamily family;
        int domain;
    } families[] = {{host::SocketFamily::local, AF_UNIX}, {host::SocketFamily::inet, AF_INET},
                    {host::SocketFamily::inet6, AF_INET6}, {host::SocketFamily::unknown, AF_UNSPEC}};
    for (const auto &row : families)
        EXPECT_EQ(getfile::linux_family_to_domain(row.family), row.domain);
    const struct {
        host::SocketType type;
        int sock_type;
    } types[] = {{host::SocketType::stream, SOCK_STREAM}, {host::SocketType::dgram, SOCK_DGRAM},
                 {host::SocketType::raw, SOCK_RAW},       {host::SocketType::seqpacket, SOCK_SEQPACKET},
                 {host::SocketType::unknown, 0}};
    for (const auto &row : types)
        EXPECT_EQ(getfile::linux_socket_type_to_freebsd(row.type), row.sock_type);
}

TEST(GetfileMapping, SocketTableLinesWithTheirTablesProtocol) {
    constexpr const char kInet[] =
        "   0: 0100007F:1F90 00000000:0000 0A 00000002:00000003 00:00000000 00000000  1000        0 4242 1 0";
    constexpr const char kInet6[] =
        "   0: 00000000000000000000000001000000:0035 00000000000000000000000000000000:0000 07 00000000:00000000 "
        "00:00000000 00000000  1000        0 4243 2 0";
    constexpr const char kRaw[] =
        "   0: 00000000:0001 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 4244 2 0";
    const struct {
        const char *table, *line;
        host::SocketType type;
        int protocol;
        uint16_t local_port;
    } rows[] = {
        {"tcp", kInet, host::SocketType::stream, 6, 8080},
        {"tcp6", kInet6, host::SocketType::stream, 6, 53},
        {"udp", kInet, host::SocketType::dgram, 17, 8080},
        {"udp6", kInet6, host::SocketType::dgram, 17, 53},
        {"udplite", kInet, host::SocketType::dgram, 136, 8080},
        {"udplite6", kInet6, host::SocketType::dgram, 136, 53},
        {"raw", kRaw, host::SocketType::raw, 1, 0},  // ICMP, from the port column
        {"raw6", kRaw, host::SocketType::raw, 1, 0},
    };
    for (const auto &row : rows) {
        host::SocketFacts s;
        ASSERT_TRUE(host::parse_table_line(row.table, row.line, s)) << row.table;
        EXPECT_EQ(s.type, row.type) << row.table;
        EXPECT_EQ(s.protocol, row.protocol) << row.table;
        EXPECT_EQ(s.local_port, row.local_port) << row.table;
    }
    host::SocketFacts s;
    EXPECT_FALSE(host::parse_table_line("sctp", kInet, s));
}

// The record of one descriptor with these facts; sockets holds the socket it may name.
struct kinfo_file descriptor_record(const std::function<void(host::Descriptor &)> &host_values,
                                    const host::SocketTable &sockets = {}) {
    host::Descriptor d;
    d.fd = 7;
    d.has_info = true;
    host_values(d);
    struct kinfo_file kf = {};
    getfile::fill_descriptor(d, sockets, kf);
    return kf;
}

uint16_t port_of(const struct sockaddr_storage &ss) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&ss);
    return static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);  // sin_port and sin6_port, in network order
}

TEST(GetfileMapping, DescriptorFacts) {
    using D = host::Descriptor;
    using K = const struct kinfo_file;
    host::SocketTable sockets;
    host::SocketFacts &tcp = sockets.sockets.emplace_back();
    tcp.inode = 900, tcp.family = host::SocketFamily::inet, tcp.type = host::SocketType::stream, tcp.protocol = 6;
    tcp.local_port = 8080, tcp.peer_port = 443, tcp.send_queue = 2, tcp.receive_queue = 3;
    const struct {
        const char *mapping;
        std::function<void(D &)> host;
        std::function<int64_t(K &)> field;
        int64_t expected;
    } rows[] = {
        {"pipe address", [](D &d) { d.file.link = "pipe:[555]"; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_pipe.kf_pipe_addr); }, 555},
        {"pipe peer: the same inode", [](D &d) { d.file.link = "pipe:[555]"; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_pipe.kf_pipe_peer); }, 555},
        {"pipe offset: every kind has one", [](D &d) { d.file.link = "pipe:[555]", d.info.pos = 9; }, [](K &k) { return k.kf_offset; }, 9},
        {"socket attributes valid", [](D &d) { d.file.link = "socket:[901]"; }, [](K &k) { return k.kf_status; }, KF_ATTR_VALID},
        {"vnode offset", [](D &d) { d.file.link = "/a", d.info.pos = 9; }, [](K &k) { return k.kf_offset; }, 9},
        {"memfd offset", [](D &d) { d.file.link = "/memfd:x", d.info.pos = 4; }, [](K &k) { return k.kf_offset; }, 4},
        {"reference count", [](D &d) { d.file.link = "/a"; }, [](K &k) { return k.kf_ref_count; }, 1},
        {"vnode size", [](D &d) { d.file.link = "/a", d.file.has_stat = true, d.file.size = 1234; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_file.kf_file_size); }, 1234},
        {"vnode links", [](D &d) { d.file.link = "/a", d.file.has_stat = true, d.file.nlink = 2; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_file.kf_file_nlink); }, 2},
        {"vnode inode", [](D &d) { d.file.link = "/a", d.file.has_stat = true, d.file.ino = 77; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_file.kf_file_fileid); }, 77},
        {"vnode mode", [](D &d) { d.file.link = "/a", d.file.has_stat = true, d.file.mode = host::linux_mode::regular | 0640; }, [](K &k) { return k.kf_un.kf_file.kf_file_mode; }, host::linux_mode::regular | 0640},
        {"eventfd count", [](D &d) { d.file.link = "anon_inode:[eventfd]", d.info.eventfd_count = 41; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_eventfd.kf_eventfd_value); }, 41},
        {"pidfd pid", [](D &d) { d.file.link = "anon_inode:[pidfd]", d.info.pidfd_pid = 321; }, [](K &k) { return k.kf_un.kf_proc.kf_pid; }, 321},
        {"pty terminal", [](D &d) { d.file.link = "/dev/ptmx", d.file.pty_master = true, d.info.tty_index = 4, d.pty_slave_rdev = 0x8804; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_pts.kf_pts_dev); }, 0x8804},
        {"socket domain", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return k.kf_sock_domain; }, AF_INET},
        {"socket type", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return k.kf_sock_type; }, SOCK_STREAM},
        {"socket protocol", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return k.kf_sock_protocol; }, IPPROTO_TCP},
        {"socket local port", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return port_of(k.kf_sa_local); }, 8080},
        {"socket peer port", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return port_of(k.kf_sa_peer); }, 443},
        {"socket queues", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return k.kf_un.kf_sock.kf_sock_sendq * 10 + k.kf_un.kf_sock.kf_sock_recvq; }, 23},
        {"socket pcb", [](D &d) { d.file.link = "socket:[900]"; }, [](K &k) { return static_cast<int64_t>(k.kf_un.kf_sock.kf_sock_pcb); }, static_cast<int64_t>(pcb_kernel_address(900))},
        {"socket no table shows", [](D &d) { d.file.link = "socket:[901]"; }, [](K &k) { return k.kf_sock_domain; }, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.field(descriptor_record(row.host, sockets)), row.expected) << row.mapping;

    EXPECT_STREQ(descriptor_record([](D &d) { d.file.link = "/memfd:cache"; }).kf_path, "memfd:cache");
    EXPECT_STREQ(descriptor_record([](D &d) { d.file.link = "socket:[900]"; }, sockets).kf_path, "internet");  // dom_name
    EXPECT_STREQ(descriptor_record([](D &d) { d.file.link = "/dev/ptmx", d.file.pty_master = true, d.info.tty_index = 4; }).kf_path, "pts/4");
}

// --- kinfo_getvmmap --------------------------------------------------------------------------

host::MapEntry mapping(std::string_view name, uint64_t inode, const char *perms) {
    host::MapEntry e;
    e.start = 0x1000, e.end = 0x5000;
    e.name = name, e.inode = inode;
    e.read = perms[0] == 'r', e.write = perms[1] == 'w', e.exec = perms[2] == 'x', e.shared = perms[3] == 's';
    return e;
}

TEST(GetvmmapMapping, NamesToObjectTypes) {
    const struct {
        const char *name;
        uint64_t inode;
        const char *perms;
        int type;
    } rows[] = {
        {"[vdso]", 0, "r-xp", KVME_TYPE_PHYS},      {"[vvar]", 0, "r--p", KVME_TYPE_PHYS},
        {"[vvar_vclock]", 0, "r--p", KVME_TYPE_PHYS}, {"[vsyscall]", 0, "--xp", KVME_TYPE_PHYS},
        {"/memfd:x", 5, "rw-s", KVME_TYPE_SWAP},    {"/SYSV00000000", 5, "rw-s", KVME_TYPE_SWAP},
        {"/dev/zero", 5, "rw-s", KVME_TYPE_SWAP},   {"/dev/shm/seg", 5, "rw-s", KVME_TYPE_VNODE},
        {"/dev/dri/card0", 5, "rw-s", KVME_TYPE_DEVICE}, {"/usr/lib/libc.so.6", 5, "r-xp", KVME_TYPE_VNODE},
        {"", 0, "---p", KVME_TYPE_GUARD},           {"[heap]", 0, "rw-p", KVME_TYPE_DEFAULT},
        {"[stack]", 0, "rw-p", KVME_TYPE_DEFAULT},  {"[anon:buf]", 0, "rw-p", KVME_TYPE_DEFAULT},
        {"", 0, "rw-p", KVME_TYPE_DEFAULT},
    };
    for (const auto &row : rows)
        EXPECT_EQ(getvmmap::linux_mapping_to_kvme_type(mapping(row.name, row.inode, row.perms)), row.type) << row.name;
}

TEST(GetvmmapMapping, FlagsAndProtection) {
    const struct {
        const char *name;
        uint64_t inode;
        const char *perms, *vm_flags;
        int protection, flags;
    } rows[] = {
        {"", 0, "r--p", "rd mr", KVME_PROT_READ, 0},
        {"", 0, "rw-p", "rd wr gd", KVME_PROT_READ | KVME_PROT_WRITE, KVME_FLAG_GROWS_DOWN},
        {"", 0, "r-xp", "rd ex dd", KVME_PROT_READ | KVME_PROT_EXEC, KVME_FLAG_NOCOREDUMP},
        {"", 0, "rw-p", "rd wr lo", KVME_PROT_READ | KVME_PROT_WRITE, KVME_FLAG_USER_WIRED},
        {"[stack]", 0, "rw-p", "rd wr", KVME_PROT_READ | KVME_PROT_WRITE, KVME_FLAG_GROWS_DOWN},
        {"/lib/x.so", 5, "rw-p", "rd wr", KVME_PROT_READ | KVME_PROT_WRITE, KVME_FLAG_COW},
        {"/lib/x.so", 5, "rw-s", "rd wr sh", KVME_PROT_READ | KVME_PROT_WRITE, 0},
        {"/lib/x.so", 5, "r--p", "rd", KVME_PROT_READ, 0},
        {"", 0, "rw-p", "gd dd lo", KVME_PROT_READ | KVME_PROT_WRITE,
         KVME_FLAG_GROWS_DOWN | KVME_FLAG_NOCOREDUMP | KVME_FLAG_USER_WIRED},
    };
    for (const auto &row : rows) {
        host::MapEntry e = mapping(row.name, row.inode, row.perms);
        e.vm_flags = row.vm_flags;
        struct kinfo_vmentry kve = {};
        getvmmap::fill_mapping(e, 4096, kve);
        EXPECT_EQ(kve.kve_protection, row.protection) << row.perms;
        EXPECT_EQ(kve.kve_flags, row.flags) << row.name << " " << row.perms << " " << row.vm_flags;
    }
}

TEST(GetvmmapMapping, SizesAndFileFacts) {
    host::MapEntry file = mapping("/lib/x.so", 77, "r-xp");
    file.offset = 0x2000, file.dev = 0x801, file.rss_kb = 12, file.private_clean_kb = 4, file.private_dirty_kb = 8;
    host::MapEntry deleted = mapping("/tmp/gone", 78, "r--p");
    deleted.deleted = true;
    const struct {
        const char *mapping;
        const host::MapEntry &entry;
        std::function<int64_t(const struct kinfo_vmentry &)> field;
        int64_t expected;
    } rows[] = {
        {"resident kB in pages", file, [](auto &k) { return k.kve_resident; }, 3},
        {"private kB in pages", file, [](auto &k) { return k.kve_private_resident; }, 3},
        {"range", file, [](auto &k) { return static_cast<int64_t>(k.kve_end - k.kve_start); }, 0x4000},
        {"offset", file, [](auto &k) { return static_cast<int64_t>(k.kve_offset); }, 0x2000},
        {"inode", file, [](auto &k) { return static_cast<int64_t>(k.kve_vn_fileid); }, 77},
        {"device", file, [](auto &k) { return static_cast<int64_t>(k.kve_vn_fsid); }, 0x801},
        {"vnode type", file, [](auto &k) { return k.kve_vn_type; }, KF_VTYPE_VREG},
        {"path", file, [](auto &k) { return static_cast<int64_t>(std::strlen(k.kve_path)); }, 9},
        {"deleted: no path", deleted, [](auto &k) { return static_cast<int64_t>(std::strlen(k.kve_path)); }, 0},
        {"structure size", file, [](auto &k) { return k.kve_structsize; }, 1160},
    };
    for (const auto &row : rows) {
        struct kinfo_vmentry kve = {};
        getvmmap::fill_mapping(row.entry, 4096, kve);
        EXPECT_EQ(row.field(kve), row.expected) << row.mapping;
    }
}

}  // namespace

// One decision turns what the host says of a process into FreeBSD's answer: a gone process is
// ESRCH, an exiting one too where the call needs what it has released.
TEST(ProcessStates, PgetAnswers) {
    using S = host::ProcessState;
    const struct {
        S state;
        int flags, err;
    } rows[] = {
        {S::alive, 0, 0},      {S::alive, kPgetNotWexit, 0},
        {S::exited, 0, 0},     {S::exited, kPgetNotWexit, ESRCH},
        {S::gone, 0, ESRCH},   {S::gone, kPgetNotWexit, ESRCH},
    };
    for (const auto &row : rows)
        EXPECT_EQ(pget_errno(row.state, row.flags), row.err) << static_cast<int>(row.state) << " " << row.flags;
}
