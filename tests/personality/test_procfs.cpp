// The host side of the personality: the /proc parsers on literal text, and the readers
// against what this very process knows about itself.
#include "linux/procfs/procfs.h"
#include "linux/text_file.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <latch>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using test_support::absent_pid;
using test_support::kernel_btime;
using test_support::ParkedThread;
using test_support::read_whole;
using test_support::state_of;

bool contains(const std::vector<int> &ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

// A stat line whose fields all differ, so a field read from its neighbour's place shows.
// The comm holds a space, '(' and ')' so that only the last ')' can end it.
constexpr const char kStatLine[] =
    "4242 (a (b) c)) S "                // 1 pid, 2 comm, 3 state
    "4100 4243 4244 34817 4245 "        // 4 ppid, 5 pgrp, 6 session, 7 tty_nr, 8 tpgid
    "4194560 11 12 13 14 "              // 9 flags, 10 minflt, 11 cminflt, 12 majflt, 13 cmajflt
    "1500 250 70 30 "                   // 14 utime, 15 stime, 16 cutime, 17 cstime
    "20 -5 3 0 98765 123456789 456 "    // 18 priority, 19 nice, 20 num_threads, 21 itrealvalue,
                                        // 22 starttime, 23 vsize, 24 rss
    "18446744073709551615 1 2 3 4 5 "   // 25 rsslim, 26 startcode .. 30 kstkeip
    "6 7 8 9 10 11 12 17 61 "           // 31 signal .. 37 cnswap, 38 exit_signal, 39 processor
    "99 98 97 96 95 94 93 92 91 90 89 88 87\n";  // 40 .. 52

// The first n fields of kStatLine (n >= 2).
std::string stat_prefix(int n) {
    std::string line = kStatLine;
    size_t pos = line.rfind(')') + 1;
    for (int field = 2; field < n; ++field)
        pos = line.find(' ', pos + 1);
    return line.substr(0, pos);
}

}  // namespace

// --- /proc/PID/stat ---------------------------------------------------------------------

TEST(ParseStat, ReadsEveryFieldFromItsPlace) {
    host::ProcStat st;
    ASSERT_TRUE(host::parse_stat(kStatLine, st));
    EXPECT_EQ(st.pid, 4242);
    EXPECT_STREQ(st.comm, "a (b) c)");
    EXPECT_EQ(st.state, 'S');
    EXPECT_EQ(st.ppid, 4100);
    EXPECT_EQ(st.pgrp, 4243);
    EXPECT_EQ(st.session, 4244);
    EXPECT_EQ(st.tty_nr, 34817);
    EXPECT_EQ(st.tpgid, 4245);
    EXPECT_EQ(st.flags, 4194560u);
    EXPECT_EQ(st.minflt, 11u);
    EXPECT_EQ(st.majflt, 13u);
    EXPECT_EQ(st.utime, 1500u);
    EXPECT_EQ(st.stime, 250u);
    EXPECT_EQ(st.cutime, 70u);
    EXPECT_EQ(st.cstime, 30u);
    EXPECT_EQ(st.nice, -5);
    EXPECT_EQ(st.num_threads, 3);
    EXPECT_EQ(st.starttime, 98765u);
    EXPECT_EQ(st.vsize, 123456789u);
    EXPECT_EQ(st.rss, 456);
    EXPECT_EQ(st.processor, 61);
    EXPECT_EQ(st.exit_code, 87);
}

TEST(ParseStat, KernelThreadFlagAndNegativeTerminalGroup) {
    // kthreadd as the kernel writes it: PF_KTHREAD in flags, tpgid -1, no terminal.
    const char line[] = "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 3 0 0 20 0 1 0 2 0 0 "
                        "18446744073709551615 0 0 0 0 0 0 0 2147483647 0 1 0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    host::ProcStat st;
    ASSERT_TRUE(host::parse_stat(line, st));
    EXPECT_EQ(st.pid, 2);
    EXPECT_STREQ(st.comm, "kthreadd");
    EXPECT_EQ(st.tty_nr, 0);
    EXPECT_EQ(st.tpgid, -1);
    EXPECT_NE(st.flags & host::kLinuxKernelThread, 0u);
    EXPECT_EQ(st.processor, 1);
}

TEST(ParseStat, EndsAtProcessorAndRejectsLess) {
    host::ProcStat st;
    EXPECT_TRUE(host::parse_stat(stat_prefix(39), st));  // a line ending at the processor
    EXPECT_EQ(st.processor, 61);
    EXPECT_EQ(st.exit_code, 0);  // a kernel before 3.5 has no exit code
    EXPECT_FALSE(host::parse_stat(stat_prefix(38), st));
    EXPECT_FALSE(host::parse_stat(stat_prefix(4), st));
}

TEST(ParseStat, RejectsGarbage) {
    const char *const bad[] = {
        "",                    // a task being reaped reads empty
        "garbage",
        "12 (cut off",         // no closing parenthesis
        "12 cut) off S 1 2 3", // no opening parenthesis
        ") 12 ( S 1 2 3",      // closing before opening
        "12 (x)",
        "12 (x) \n\n \t",
    };
    for (const char *text : bad) {
        host::ProcStat st;
        EXPECT_FALSE(host::parse_stat(text, st)) << '"' << text << '"';
    }
}

TEST(ParseStat, LongCommIsCutToTheBufferAndTerminated) {
    std::string line = kStatLine;
    std::string longer(200, 'x');
    line.replace(line.find('(') + 1, line.rfind(')') - line.find('(') - 1, longer);
    host::ProcStat st;
    ASSERT_TRUE(host::parse_stat(line, st));
    EXPECT_EQ(std::string(st.comm), longer.substr(0, sizeof(st.comm) - 1));
    EXPECT_EQ(st.ppid, 4100);
}

// --- /proc/PID/status and io ------------------------------------------------------------

namespace {

constexpr const char kStatusText[] =
    "Name:\tworker\n"
    "Umask:\t0022\n"
    "State:\tS (sleeping)\n"
    "Tgid:\t3100\n"
    "Ngid:\t0\n"
    "Pid:\t3107\n"
    "PPid:\t1\n"
    "TracerPid:\t3000\n"
    "Uid:\t1000\t1001\t1002\t1003\n"
    "Gid:\t2000\t2001\t2002\t2003\n"
    "FDSize:\t64\n"
    "Groups:\t4 24 27 4294967294 \n"
    "NStgid:\t3100\n"
    "NSpid:\t3107\n"
    "VmPeak:\t  20000 kB\n"
    "VmSize:\t  19000 kB\n"
    "VmHWM:\t    5120 kB\n"
    "VmRSS:\t    4096 kB\n"
    "VmData:\t    1536 kB\n"
    "VmStk:\t     132 kB\n"
    "VmExe:\t      24 kB\n"
    "VmLib:\t    1800 kB\n"
    "Threads:\t2\n"
    "SigQ:\t0/31000\n"
    "Cpus_allowed_list:\t0-3\n"
    "voluntary_ctxt_switches:\t321\n"
    "nonvoluntary_ctxt_switches:\t45\n";

}  // namespace

TEST(ParseStatus, ReadsCredentialsMemoryAndSwitches) {
    host::ProcStatus s;
    ASSERT_TRUE(host::parse_status(kStatusText, s));
    EXPECT_EQ(s.tgid, 3100);
    EXPECT_EQ(s.tracer_pid, 3000);
    const uint32_t uid[4] = {1000, 1001, 1002, 1003}, gid[4] = {2000, 2001, 2002, 2003};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.uid[i], uid[i]) << i;
        EXPECT_EQ(s.gid[i], gid[i]) << i;
    }
    EXPECT_EQ(s.groups, (std::vector<uint32_t>{4, 24, 27, 4294967294u}));
    EXPECT_EQ(s.vm_exe_kb, 24u);
    EXPECT_EQ(s.vm_data_kb, 1536u);
    EXPECT_EQ(s.vm_stk_kb, 132u);
    EXPECT_EQ(s.vm_hwm_kb, 5120u);
    EXPECT_EQ(s.voluntary_ctxt_switches, 321u);
    EXPECT_EQ(s.nonvoluntary_ctxt_switches, 45u);
}

TEST(ParseStatus, EmptyGroupsLineGivesNoGroups) {
    std::string text = kStatusText;
    text.replace(text.find("Groups:"), text.find('\n', text.find("Groups:")) - text.find("Groups:"), "Groups:\t");
    host::ProcStatus s;
    s.groups = {7, 8};  // what an earlier parse into the same value left behind
    ASSERT_TRUE(host::parse_status(text, s));
    EXPECT_TRUE(s.groups.empty());
    EXPECT_EQ(s.gid[3], 2003u);  // the lines around it still count
    EXPECT_EQ(s.vm_hwm_kb, 5120u);
}

TEST(ParseStatus, MissingUidLineIsRejected) {
    std::string text = kStatusText;
    text.erase(text.find("Uid:"), text.find('\n', text.find("Uid:")) + 1 - text.find("Uid:"));
    host::ProcStatus s;
    EXPECT_FALSE(host::parse_status(text, s));
    EXPECT_FALSE(host::parse_status("", s));
    EXPECT_FALSE(host::parse_status("Tgid:\t1\nGid:\t0\t0\t0\t0\n", s));
}

TEST(ParseIo, ReadsStorageBytesNotTheOtherCounters) {
    const char text[] = "rchar: 111\n"
                        "wchar: 222\n"
                        "syscr: 3\n"
                        "syscw: 4\n"
                        "read_bytes: 40960\n"
                        "write_bytes: 8192\n"
                        "cancelled_write_bytes: 4096\n";
    host::ProcIo io;
    host::parse_io(text, io);
    EXPECT_EQ(io.read_bytes, 40960u);
    EXPECT_EQ(io.write_bytes, 8192u);

    host::ProcIo empty;
    host::parse_io("", empty);
    EXPECT_EQ(empty.read_bytes, 0u);
    EXPECT_EQ(empty.write_bytes, 0u);
}

// --- TextFile and the field helpers -----------------------------------------------------

class TextFileTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string &path : paths_)
            std::remove(path.c_str());
    }
    std::string write_temp(const std::string &content) {
        std::string path = ::testing::TempDir() + "lumvik_text_file_XXXXXX";
        int fd = mkstemp(path.data());
        EXPECT_GE(fd, 0);
        close(fd);
        paths_.push_back(path);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

private:
    std::vector<std::string> paths_;
};

namespace {

std::string patterned(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

}  // namespace

TEST_F(TextFileTest, ReadsFilesAroundAndBeyondTheStackBuffer) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{3 * 4096 + 17},
                        size_t{100000}}) {
        std::string content = patterned(size);
        host::TextFile file;
        ASSERT_EQ(file.read(write_temp(content).c_str()), 0) << size;
        EXPECT_EQ(file.text().size(), size);
        EXPECT_TRUE(file.text() == content) << size;
    }
}

TEST_F(TextFileTest, ReusedForASmallFileAfterALargeOne) {
    host::TextFile file;
    ASSERT_EQ(file.read(write_temp(patterned(20000)).c_str()), 0);
    ASSERT_EQ(file.read(write_temp("small\n").c_str()), 0);
    EXPECT_EQ(file.text(), "small\n");
    ASSERT_EQ(file.read(write_temp(patterned(9000)).c_str()), 0);
    EXPECT_TRUE(file.text() == patterned(9000));
}

TEST_F(TextFileTest, MissingFileIsENOENT) {
    host::TextFile file;
    EXPECT_EQ(file.read("/proc/self/no-such-file"), ENOENT);
    EXPECT_EQ(file.read((::testing::TempDir() + "lumvik-no-such-dir/x").c_str()), ENOENT);
}

TEST_F(TextFileTest, ReadsAProcFileWhole) {
    // /proc/self/maps is built at the first read; it must come back as one piece.
    host::TextFile file;
    ASSERT_EQ(file.read("/proc/self/maps"), 0);
    ASSERT_FALSE(file.text().empty());
    EXPECT_EQ(file.text().back(), '\n');
    EXPECT_NE(file.text().find("[stack]"), std::string_view::npos);
}

TEST(Fields, SplitOnBlanksAndConvertNumbers) {
    std::string_view text = "  12\t-34\n\n18446744073709551615  x ";
    EXPECT_EQ(host::to_ll(host::next_field(text)), 12);
    EXPECT_EQ(host::to_ll(host::next_field(text)), -34);
    EXPECT_EQ(host::to_ull(host::next_field(text)), 18446744073709551615ull);
    EXPECT_EQ(host::next_field(text), "x");
    EXPECT_TRUE(host::next_field(text).empty());
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(host::to_ll(""), 0);
    EXPECT_EQ(host::to_ull("kB"), 0u);
}

// --- the readers, against this process --------------------------------------------------

TEST(ReadProcess, SelfMatchesTheProcessOwnIds) {
    host::ProcessSnapshot s;
    ASSERT_EQ(host::read_process(getpid(), s), 0);
    EXPECT_EQ(s.stat.pid, getpid());
    EXPECT_EQ(s.stat.ppid, getppid());
    EXPECT_EQ(s.stat.pgrp, getpgrp());
    EXPECT_EQ(s.stat.session, getsid(0));
    EXPECT_EQ(s.stat.state, 'R');  // it is running: it is reading its own stat
    EXPECT_GE(s.stat.num_threads, 1);
    EXPECT_EQ(s.status.tgid, getpid());
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    ASSERT_EQ(getresuid(&ruid, &euid, &suid), 0);
    ASSERT_EQ(getresgid(&rgid, &egid, &sgid), 0);
    EXPECT_EQ(s.status.uid[0], getuid());
    EXPECT_EQ(s.status.uid[1], euid);
    EXPECT_EQ(s.status.uid[2], suid);
    EXPECT_EQ(s.status.gid[0], getgid());
    EXPECT_EQ(s.status.gid[1], egid);
    EXPECT_EQ(s.status.gid[2], sgid);

    std::vector<gid_t> groups(static_cast<size_t>(getgroups(0, nullptr)));
    groups.resize(static_cast<size_t>(getgroups(static_cast<int>(groups.size()), groups.data())));
    std::vector<uint32_t> expected(groups.begin(), groups.end()), got = s.status.groups;
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);

    std::string comm = read_whole("/proc/self/comm");
    EXPECT_EQ(std::string(s.stat.comm) + "\n", comm);
    EXPECT_GT(s.status.vm_hwm_kb, 0u);
}

TEST(ReadProcess, AThreadIsNotAProcessButReadsAsAThread) {
    ParkedThread other;
    host::ProcessSnapshot s;
    EXPECT_EQ(host::read_process(other.tid(), s), ESRCH);

    host::ProcessSnapshot t;
    ASSERT_EQ(host::read_thread(getpid(), other.tid(), t), 0);
    EXPECT_EQ(t.stat.pid, other.tid());
    EXPECT_EQ(t.status.tgid, getpid());
    EXPECT_EQ(t.stat.state, 'S');  // blocked on the latch
    EXPECT_EQ(t.stat.ppid, getppid());
    EXPECT_GE(t.stat.num_threads, 2);

    EXPECT_EQ(host::read_thread(getpid(), absent_pid(), t), ESRCH);
}

TEST(ReadProcess, ContextSwitchesAreSummedOverThreads) {
    ParkedThread other;
    auto switches = [](const std::string &path) {
        host::ProcStatus s;
        EXPECT_TRUE(host::parse_status(read_whole(path), s)) << path;
        return s.voluntary_ctxt_switches;
    };
    std::string task = "/proc/self/task/";
    uint64_t main_before = switches(task + std::to_string(getpid()) + "/status");
    uint64_t other_before = switches(task + std::to_string(other.tid()) + "/status");
    ASSERT_GT(other_before, 0u);  // it blocked at least once

    host::ProcessSnapshot s;
    ASSERT_EQ(host::read_process(getpid(), s), 0);
    EXPECT_GE(s.status.voluntary_ctxt_switches, main_before + other_before);
}

TEST(ReadProcess, NoSuchProcessIsESRCH) {
    host::ProcessSnapshot s;
    EXPECT_EQ(host::read_process(0, s), ESRCH);
    EXPECT_EQ(host::read_process(-1, s), ESRCH);
    int absent = absent_pid();
    ASSERT_GT(absent, 0);
    EXPECT_EQ(host::read_process(absent, s), ESRCH);
}

TEST(BootTime, EqualsTheKernelsBtime) {
    long long btime = kernel_btime();
    ASSERT_GT(btime, 0);
    EXPECT_EQ(host::boot_time(), btime);
}

TEST(ListIds, ProcessesAndThreadsOfThisProcess) {
    ParkedThread other;
    std::vector<int> pids;
    ASSERT_EQ(host::list_pids(pids), 0);
    EXPECT_TRUE(contains(pids, getpid()));
    EXPECT_FALSE(contains(pids, other.tid()));  // threads are not listed as processes
    EXPECT_TRUE(std::all_of(pids.begin(), pids.end(), [](int pid) { return pid > 0; }));

    std::vector<int> tids;
    ASSERT_EQ(host::list_tids(getpid(), tids), 0);
    EXPECT_TRUE(contains(tids, getpid()));
    EXPECT_TRUE(contains(tids, other.tid()));

    EXPECT_EQ(host::list_tids(absent_pid(), tids), ESRCH);
}
