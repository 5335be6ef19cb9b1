// The FreeBSD side of the personality: sysctl(3) and sysctlbyname(3) as a FreeBSD caller sees
// them, checked against what Linux says about this process, and the test overrides.
#include <sys/sysctl.h>
#include <sys/user.h>
#include <sys/proc.h>

#include "test_support.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" {
void lumvik_control_answer(const char *key, const void *bytes, size_t len);
void lumvik_control_fail(const char *key, int err);
void lumvik_control_grow(const char *key, int times);
void lumvik_control_clear(const char *key);
}

namespace {

using test_support::absent_pid;
using test_support::kernel_btime;
using test_support::ParkedThread;
using test_support::read_whole;

constexpr size_t kRecord = 1088;
static_assert(sizeof(struct kinfo_proc) == kRecord);


// The fields of /proc/self/stat after the comm, read independently of the personality:
// field(n) is field n of proc(5), counted from 1.
class SelfStat {
public:
    SelfStat() {
        std::string text = read_whole("/proc/self/stat");
        std::istringstream rest(text.substr(text.rfind(')') + 1));
        for (std::string f; rest >> f;)
            fields_.push_back(f);
    }
    long long field(int n) const { return std::atoll(fields_.at(static_cast<size_t>(n - 3)).c_str()); }

private:
    std::vector<std::string> fields_;
};

// The processes under /proc, counted without the personality.
size_t count_processes() {
    size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        n += !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    return n;
}


// sysctl(3) by number; returns the errno (0 on success) and fills len.
int sysctl_mib(std::vector<int> mib, void *buf, size_t *len) {
    errno = 0;
    int rc = sysctl(mib.data(), static_cast<unsigned>(mib.size()), buf, len, nullptr, 0);
    if (rc == 0)
        return 0;
    EXPECT_EQ(rc, -1);
    return errno;
}

int kinfo_of(int pid, struct kinfo_proc *kp) {
    size_t len = sizeof(*kp);
    int err = sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID, pid}, kp, &len);
    if (err == 0) {
        EXPECT_EQ(len, sizeof(*kp));
    }
    return err;
}

// The records of a node that returns a table, fetched as FreeBSD callers do: probe, fetch,
// and probe again when the table grew in between.
int fetch_records(std::vector<int> mib, std::vector<struct kinfo_proc> &out) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        size_t len = 0;
        if (int err = sysctl_mib(mib, nullptr, &len))
            return err;
        out.resize(len / kRecord);
        len = out.size() * kRecord;
        int err = sysctl_mib(mib, out.data(), &len);
        if (err == ENOMEM)
            continue;
        if (err != 0)
            return err;
        EXPECT_EQ(len % kRecord, 0u);
        out.resize(len / kRecord);
        return 0;
    }
    return ENOMEM;
}

class Sysctl : public ::testing::Test {
protected:
    void TearDown() override { lumvik_control_clear(nullptr); }
};

}  // namespace

// --- the FreeBSD headers ----------------------------------------------------------------------

// FreeBSD's <limits.h> has the POSIX and XSI limits; the personality's wraps the host's, so
// they must come through it. (NAME_MAX and the _POSIX_* ones are left out: the workaround at
// the top of this file brings those in by itself.)
TEST(LimitsH, CarriesTheCLibraryLimits) {
#ifndef LINE_MAX
    ADD_FAILURE() << "LINE_MAX missing: <limits.h> did not reach the C library's <limits.h>";
#endif
#ifndef IOV_MAX
    ADD_FAILURE() << "IOV_MAX missing: <limits.h> did not reach the C library's <limits.h>";
#endif
    EXPECT_EQ(PATH_MAX, 1024);
}

// --- the call's own behaviour -----------------------------------------------------------

TEST_F(Sysctl, ArgmaxByNumberAndByNameIsTheHostLimit) {
    int by_number = 0, by_name = 0;
    size_t len = sizeof(by_number);
    ASSERT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX}, &by_number, &len), 0);
    EXPECT_EQ(len, sizeof(int));
    len = sizeof(by_name);
    ASSERT_EQ(sysctlbyname("kern.argmax", &by_name, &len, nullptr, 0), 0);
    EXPECT_EQ(len, sizeof(int));
    EXPECT_EQ(by_number, by_name);
    EXPECT_EQ(by_number, sysconf(_SC_ARG_MAX));

    len = 0;
    ASSERT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX}, nullptr, &len), 0);  // the probe
    EXPECT_EQ(len, sizeof(int));
}

TEST_F(Sysctl, UnknownNodesAndBadNamesFail) {
    int value = 0;
    size_t len = sizeof(value);
    errno = 0;
    EXPECT_EQ(sysctlbyname("kern.no_such_node", &value, &len, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(sysctlbyname("kern.argma", &value, &len, nullptr, 0), -1);  // a prefix is not a name
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sysctl_mib({CTL_KERN, 9999}, &value, &len), ENOENT);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, 99, 1}, &value, &len), ENOENT);
    EXPECT_EQ(sysctl_mib({CTL_HW, KERN_ARGMAX}, &value, &len), ENOENT);
    EXPECT_EQ(sysctl_mib({CTL_KERN}, &value, &len), EINVAL);  // shorter than any name
    EXPECT_EQ(sysctl_mib(std::vector<int>(CTL_MAXNAME + 1, CTL_KERN), &value, &len), EINVAL);
}

TEST_F(Sysctl, ExtraElementAfterALeafIsENOTDIR) {
    int value = 0;
    size_t len = sizeof(value);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX, 0}, &value, &len), ENOTDIR);
}

TEST_F(Sysctl, WriteToReadOnlyNodeIsEPERM) {
    int value = 1 << 20, old = 0;
    size_t len = sizeof(old);
    errno = 0;
    EXPECT_EQ(sysctlbyname("kern.argmax", nullptr, nullptr, &value, sizeof(value)), -1);
    EXPECT_EQ(errno, EPERM);
    const int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, getpid()};
    errno = 0;
    EXPECT_EQ(sysctl(mib, 4, &old, &len, &value, sizeof(value)), -1);  // read and write at once
    EXPECT_EQ(errno, EPERM);
    len = sizeof(old);
    ASSERT_EQ(sysctlbyname("kern.argmax", &old, &len, nullptr, 0), 0);
    EXPECT_EQ(old, sysconf(_SC_ARG_MAX));  // nothing changed
}

TEST_F(Sysctl, ShortBufferIsENOMEMAndHoldsWhatFit) {
    struct kinfo_proc full;
    ASSERT_EQ(kinfo_of(getpid(), &full), 0);

    unsigned char buf[200];
    std::memset(buf, 0xa5, sizeof(buf));
    size_t len = 100;
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID, getpid()}, buf, &len), ENOMEM);
    EXPECT_EQ(len, 100u);
    // The first 100 bytes are the header and ids, which do not change between the calls.
    EXPECT_EQ(std::memcmp(buf, &full, 100), 0);
    EXPECT_TRUE(std::all_of(buf + 100, buf + sizeof(buf), [](unsigned char c) { return c == 0xa5; }))
        << "written past the caller's length";
}

TEST_F(Sysctl, ShortBufferForTheProcessTable) {
    std::vector<unsigned char> buf(kRecord + 64, 0xa5);
    size_t len = kRecord;
    int err = sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0}, buf.data(), &len);
    ASSERT_EQ(err, ENOMEM);  // a running system has more than one process
    EXPECT_EQ(len, kRecord);
    struct kinfo_proc first;
    std::memcpy(&first, buf.data(), sizeof(first));
    EXPECT_EQ(first.ki_structsize, static_cast<int>(kRecord));
    EXPECT_GT(first.ki_pid, 0);
    EXPECT_TRUE(std::all_of(buf.begin() + kRecord, buf.end(), [](unsigned char c) { return c == 0xa5; }));
}

// --- kern.proc ------------------------------------------------------------------------------

TEST_F(Sysctl, ProcessTableProbeCountsProcessesWithSlack) {
    // Processes come and go while the test runs, so the count is compared loosely.
    size_t before = count_processes(), len = 0;
    ASSERT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0}, nullptr, &len), 0);
    size_t after = count_processes();
    EXPECT_EQ(len % kRecord, 0u);
    ASSERT_GT(len, 5 * kRecord);
    size_t counted = len / kRecord - 5;
    EXPECT_GE(counted, std::min(before, after) / 2);
    EXPECT_LE(counted, std::max(before, after) * 2 + 16);

    size_t all = 0;
    ASSERT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_ALL}, nullptr, &all), 0);
    EXPECT_EQ(all % kRecord, 0u);
    EXPECT_GT(all, 5 * kRecord);
}

TEST_F(Sysctl, ProcessTableHoldsThisProcessOnce) {
    std::vector<struct kinfo_proc> table;
    ASSERT_EQ(fetch_records({CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0}, table), 0);
    EXPECT_EQ(std::count_if(table.begin(), table.end(), [](const kinfo_proc &kp) { return kp.ki_pid == getpid(); }),
              1);
    std::set<pid_t> pids;
    for (const kinfo_proc &kp : table) {
        EXPECT_EQ(kp.ki_structsize, static_cast<int>(kRecord));
        EXPECT_TRUE(pids.insert(kp.ki_pid).second) << "pid " << kp.ki_pid << " twice";
    }
}

TEST_F(Sysctl, RecordOfThisProcess) {
    struct kinfo_proc kp;
    ASSERT_EQ(kinfo_of(getpid(), &kp), 0);
    SelfStat stat;

    EXPECT_EQ(kp.ki_structsize, static_cast<int>(kRecord));
    EXPECT_EQ(kp.ki_pid, getpid());
    EXPECT_EQ(kp.ki_ppid, getppid());
    EXPECT_EQ(kp.ki_pgid, getpgrp());
    EXPECT_EQ(kp.ki_sid, getsid(0));
    EXPECT_EQ(kp.ki_tid, getpid());

    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    ASSERT_EQ(getresuid(&ruid, &euid, &suid), 0);
    ASSERT_EQ(getresgid(&rgid, &egid, &sgid), 0);
    EXPECT_EQ(kp.ki_uid, geteuid());
    EXPECT_EQ(kp.ki_ruid, getuid());
    EXPECT_EQ(kp.ki_svuid, suid);
    EXPECT_EQ(kp.ki_rgid, getgid());
    EXPECT_EQ(kp.ki_svgid, sgid);
    EXPECT_EQ(kp.ki_groups[0], getegid());  // FreeBSD's list starts with the effective gid
    int ngroups = getgroups(0, nullptr);
    ASSERT_GE(ngroups, 0);
    std::vector<gid_t> groups(static_cast<size_t>(ngroups));
    ASSERT_EQ(getgroups(ngroups, groups.data()), ngroups);
    if (ngroups < KI_NGROUPS) {
        EXPECT_EQ(kp.ki_ngroups, ngroups + 1);
        std::vector<gid_t> got(kp.ki_groups + 1, kp.ki_groups + kp.ki_ngroups);
        std::sort(got.begin(), got.end());
        std::sort(groups.begin(), groups.end());
        EXPECT_EQ(got, groups);
    }

    std::string comm = read_whole("/proc/self/comm");
    ASSERT_FALSE(comm.empty());
    comm.pop_back();  // the newline
    EXPECT_STREQ(kp.ki_comm, comm.c_str());
    EXPECT_STREQ(kp.ki_tdname, comm.c_str());

    EXPECT_EQ(kp.ki_stat, SRUN);  // running: it is asking about itself
    EXPECT_GE(kp.ki_numthreads, 1);
    EXPECT_NE(kp.ki_flag & P_INMEM, 0);
    EXPECT_EQ(kp.ki_flag & (P_SYSTEM | P_KPROC | P_WEXIT), 0);
    errno = 0;
    int nice_now = nice(0);
    ASSERT_EQ(errno, 0);
    EXPECT_EQ(kp.ki_nice, nice_now);

    if (stat.field(7) == 0) {  // no controlling terminal
        EXPECT_EQ(kp.ki_tdev, UINT64_MAX);
        EXPECT_EQ(kp.ki_tdev_freebsd11, UINT32_MAX);
        EXPECT_EQ(kp.ki_flag & P_CONTROLT, 0);
        EXPECT_EQ(kp.ki_tsid, 0);
    } else {
        EXPECT_NE(kp.ki_tdev, UINT64_MAX);
        EXPECT_NE(kp.ki_flag & P_CONTROLT, 0);
        EXPECT_EQ(kp.ki_tsid, getsid(0));
    }

    long long btime = kernel_btime();
    ASSERT_GT(btime, 0);
    long long started = btime + stat.field(22) / sysconf(_SC_CLK_TCK);
    EXPECT_LE(std::llabs(static_cast<long long>(kp.ki_start.tv_sec) - started), 2);
    EXPECT_GE(kp.ki_start.tv_usec, 0);
    EXPECT_LT(kp.ki_start.tv_usec, 1000000);
}

TEST_F(Sysctl, NoSuchProcessIsESRCH) {
    struct kinfo_proc kp;
    int absent = absent_pid();
    ASSERT_GT(absent, 0);
    EXPECT_EQ(kinfo_of(absent, &kp), ESRCH);
    EXPECT_EQ(kinfo_of(-1, &kp), ESRCH);
    size_t len = 0;
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID, absent}, nullptr, &len), ESRCH);  // probe too
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD, absent}, nullptr, &len),
              ESRCH);
}

TEST_F(Sysctl, AThreadIdIsNotAProcess) {
    ParkedThread other("lumvik-parked");
    struct kinfo_proc kp;
    EXPECT_EQ(kinfo_of(other.tid(), &kp), ESRCH);
    size_t len = 0;
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD, other.tid()}, nullptr, &len),
              ESRCH);
}

TEST_F(Sysctl, WrongArgumentCountIsEINVAL) {
    struct kinfo_proc kp;
    size_t len = sizeof(kp);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID}, &kp, &len), EINVAL);
    len = sizeof(kp);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID, getpid(), 0}, &kp, &len), EINVAL);
    len = sizeof(kp);
    EXPECT_EQ(sysctlbyname("kern.proc.pid", &kp, &len, nullptr, 0), -1);  // a name carries no pid
    EXPECT_EQ(errno, EINVAL);
    len = sizeof(kp);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD}, &kp, &len), EINVAL);
    len = 0;  // kern.proc.all is a leaf, not a node with a handler: nothing may follow it
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_ALL, 0}, nullptr, &len), ENOTDIR);
}

TEST_F(Sysctl, ThreadRecordsOfThisProcess) {
    ParkedThread other("lumvik-parked");
    std::vector<struct kinfo_proc> threads;
    ASSERT_EQ(fetch_records({CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD, getpid()}, threads), 0);
    ASSERT_GE(threads.size(), 2u);

    std::string comm = read_whole("/proc/self/comm");
    comm.pop_back();
    std::set<lwpid_t> tids;
    const kinfo_proc *parked = nullptr;
    for (const kinfo_proc &kp : threads) {
        EXPECT_EQ(kp.ki_structsize, static_cast<int>(kRecord));
        EXPECT_EQ(kp.ki_pid, getpid());
        EXPECT_STREQ(kp.ki_comm, comm.c_str());  // the process's name on every record
        EXPECT_TRUE(tids.insert(kp.ki_tid).second) << "tid " << kp.ki_tid << " twice";
        if (kp.ki_tid == other.tid())
            parked = &kp;
    }
    EXPECT_EQ(tids.count(getpid()), 1u);
    EXPECT_EQ(static_cast<size_t>(threads.front().ki_numthreads), threads.size());
    EXPECT_NE(threads.front().ki_flag & P_HADTHREADS, 0);
    ASSERT_NE(parked, nullptr);
    EXPECT_STREQ(parked->ki_tdname, "lumvik-parked");  // the thread's own name
    EXPECT_EQ(parked->ki_stat, SSLEEP);
}

// --- overrides ----------------------------------------------------------------------------

TEST_F(Sysctl, AnsweredBytesReplaceTheHostsValue) {
    const int fake = 12345;
    lumvik_control_answer("kern.argmax", &fake, sizeof(fake));
    int value = 0;
    size_t len = sizeof(value);
    ASSERT_EQ(sysctlbyname("kern.argmax", &value, &len, nullptr, 0), 0);
    EXPECT_EQ(value, fake);
    value = 0;
    ASSERT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX}, &value, &len), 0);
    EXPECT_EQ(value, fake);

    const char odd[] = "abcdef";  // six bytes: the probe reports their length, not the node's
    lumvik_control_answer("kern.argmax", odd, 6);
    len = 0;
    ASSERT_EQ(sysctlbyname("kern.argmax", nullptr, &len, nullptr, 0), 0);
    EXPECT_EQ(len, 6u);
    char four[4];
    len = sizeof(four);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX}, four, &len), ENOMEM);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(std::memcmp(four, "abcd", 4), 0);

    lumvik_control_answer("kern.argmax", nullptr, 0);
    len = 0;
    ASSERT_EQ(sysctlbyname("kern.argmax", nullptr, &len, nullptr, 0), 0);
    EXPECT_EQ(len, 0u);
    len = sizeof(value);
    ASSERT_EQ(sysctlbyname("kern.argmax", &value, &len, nullptr, 0), 0);
    EXPECT_EQ(len, 0u);

    lumvik_control_clear("kern.argmax");
    len = sizeof(value);
    ASSERT_EQ(sysctlbyname("kern.argmax", &value, &len, nullptr, 0), 0);
    EXPECT_EQ(value, sysconf(_SC_ARG_MAX));
}

TEST_F(Sysctl, OverrideNarrowedToOnePid) {
    struct kinfo_proc fake;
    std::memset(&fake, 0, sizeof(fake));
    fake.ki_structsize = sizeof(fake);
    fake.ki_pid = 77777;
    std::strcpy(fake.ki_comm, "fake");
    int absent = absent_pid();
    ASSERT_GT(absent, 0);
    lumvik_control_answer(("kern.proc.pid." + std::to_string(absent)).c_str(), &fake, sizeof(fake));

    struct kinfo_proc kp;
    ASSERT_EQ(kinfo_of(absent, &kp), 0);
    EXPECT_EQ(kp.ki_pid, 77777);
    EXPECT_STREQ(kp.ki_comm, "fake");
    ASSERT_EQ(kinfo_of(getpid(), &kp), 0);  // another pid still answers from the host
    EXPECT_EQ(kp.ki_pid, getpid());

    // With a node-wide override as well, the narrower one still wins for its pid.
    lumvik_control_fail("kern.proc.pid", EIO);
    EXPECT_EQ(kinfo_of(getpid(), &kp), EIO);
    ASSERT_EQ(kinfo_of(absent, &kp), 0);
    EXPECT_EQ(kp.ki_pid, 77777);
    lumvik_control_clear(("kern.proc.pid." + std::to_string(absent)).c_str());
    EXPECT_EQ(kinfo_of(absent, &kp), EIO);
}

TEST_F(Sysctl, FailWithAnErrno) {
    lumvik_control_fail("kern.argmax", EACCES);
    int value = 0;
    size_t len = sizeof(value);
    errno = 0;
    EXPECT_EQ(sysctlbyname("kern.argmax", &value, &len, nullptr, 0), -1);
    EXPECT_EQ(errno, EACCES);
    len = 0;
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_ARGMAX}, nullptr, &len), EACCES);  // the probe fails too

    lumvik_control_fail("kern.proc.proc", EPERM);
    EXPECT_EQ(sysctl_mib({CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0}, nullptr, &len), EPERM);
    struct kinfo_proc kp;
    EXPECT_EQ(kinfo_of(getpid(), &kp), 0);  // other nodes are untouched
}

TEST_F(Sysctl, GrowFailsTheNextFetchesNotTheProbes) {
    lumvik_control_grow("kern.proc.pid", 2);
    struct kinfo_proc kp;
    size_t len = 0;
    const std::vector<int> mib = {CTL_KERN, KERN_PROC, KERN_PROC_PID, getpid()};
    for (int round = 0; round < 2; ++round) {
        len = 0;
        ASSERT_EQ(sysctl_mib(mib, nullptr, &len), 0) << round;
        EXPECT_EQ(len, kRecord);
        len = sizeof(kp);
        EXPECT_EQ(sysctl_mib(mib, &kp, &len), ENOMEM) << round;
    }
    len = 0;
    ASSERT_EQ(sysctl_mib(mib, nullptr, &len), 0);
    for (int fetch = 0; fetch < 2; ++fetch) {
        std::memset(&kp, 0, sizeof(kp));
        ASSERT_EQ(kinfo_of(getpid(), &kp), 0) << fetch;
        EXPECT_EQ(kp.ki_pid, getpid());
    }
}

// --- many callers at once -------------------------------------------------------------------

TEST_F(Sysctl, ConcurrentCallersGetWholeRecords) {
    constexpr int kThreads = 4, kCalls = 100;
    std::atomic<int> bad{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&bad, t] {
            for (int i = 0; i < kCalls; ++i) {
                if (t == 0 && i % 10 == 0) {  // overrides come and go meanwhile
                    lumvik_control_fail("kern.proc.proc", EIO);
                    lumvik_control_clear("kern.proc.proc");
                }
                struct kinfo_proc kp;
                size_t len = sizeof(kp);
                const int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, getpid()};
                if (sysctl(mib, 4, &kp, &len, nullptr, 0) != 0 || len != sizeof(kp) || kp.ki_pid != getpid() ||
                    kp.ki_structsize != static_cast<int>(kRecord))
                    ++bad;
                int argmax = 0;
                len = sizeof(argmax);
                if (sysctlbyname("kern.argmax", &argmax, &len, nullptr, 0) != 0 || argmax != sysconf(_SC_ARG_MAX))
                    ++bad;
            }
        });
    }
    for (std::thread &caller : callers)
        caller.join();
    EXPECT_EQ(bad.load(), 0);
}
