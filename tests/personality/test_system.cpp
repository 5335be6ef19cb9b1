// The system-wide nodes of the personality (CPU, memory, swap, allocator): the host's texts
// and their conversions row by row. Their values against Linux's are tested from Python.
#include <sys/sysctl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <malloc_np.h>

#include "freebsd/sys/kern/kern_cpu.h"
#include "linux/sysfs/cpu_topology.h"
#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_clock.h"
#include "freebsd/sys/kern/sched_ule.h"
#include "freebsd/lib/libkvm/kvm_getswapinfo.h"
#include "freebsd/sys/vm/swap_pager.h"
#include "freebsd/sys/vm/vm_meter.h"

TEST(FreqLevels, TextAsCpufreqWritesIt) {
    struct Case {
        std::vector<uint64_t> khz;
        const char *text;
    } cases[] = {
        {{}, ""},
        {{2400000}, "2400/-1"},
        {{800000, 2400000, 1600000}, "2400/-1 1600/-1 800/-1"},
        {{2400000, 2400999, 800500}, "2400/-1 800/-1"},  // kHz cut to MHz, repeats dropped
        {{uint64_t(1) << 62}, "2147483647/-1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(freebsd_freq_levels(c.khz), c.text);
}

// The host's texts, field by field: a column read in the wrong place would move a figure.
TEST(HostTexts, StatMeminfoVmstat) {
    host::KernelStat stat;
    host::parse_kernel_stat("cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 11 12 13 14 15 16 17 18 0 0\ncpu3 1 1 1 1 1 1 1 1\n"
                            "intr 99 1 2\nctxt 77\nbtime 5\nprocs_running 3\nprocs_blocked 2\nsoftirq 55 1\n",
                            stat);
    const host::CpuTicks &a = stat.all;
    EXPECT_EQ(std::vector<uint64_t>({a.user, a.nice, a.system, a.idle, a.iowait, a.irq, a.softirq, a.steal}),
              std::vector<uint64_t>({1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(stat.cpus.size(), 2u);
    EXPECT_EQ(stat.cpus[0].first, 0);
    EXPECT_EQ(stat.cpus[0].second.steal, 18u);
    EXPECT_EQ(stat.cpus[1].first, 3);
    EXPECT_EQ(std::vector<uint64_t>({stat.intr, stat.ctxt, stat.softirq, stat.procs_running, stat.procs_blocked}),
              std::vector<uint64_t>({99, 77, 55, 3, 2}));

    host::Meminfo mem;
    host::parse_meminfo("MemTotal: 100 kB\nMemFree: 10 kB\nBuffers: 1 kB\nActive: 20 kB\nInactive: 30 kB\n"
                        "Active(anon): 7 kB\nShmem: 2 kB\nCommitted_AS: 50 kB\n",
                        mem);
    EXPECT_EQ(std::vector<uint64_t>({mem.total, mem.free, mem.buffers, mem.active, mem.inactive, mem.shmem,
                                     mem.committed}),
              std::vector<uint64_t>({102400, 10240, 1024, 20480, 30720, 2048, 51200}));

    host::Vmstat vm;
    host::parse_vmstat("pgpgin 1\npgpgout 2\npswpin 3\npswpout 4\npgfault 5\npgfault_x 6\n", vm);
    EXPECT_EQ(std::vector<uint64_t>({vm.pgpgin, vm.pgpgout, vm.pswpin, vm.pswpout, vm.pgfault}),
              std::vector<uint64_t>({1, 2, 3, 4, 5}));
}

// Each Linux column lands in its FreeBSD state, rescaled from USER_HZ to 128 a second.
TEST(CpTime, LinuxColumnsIntoFreebsdStates) {
    using host::CpuTicks;
    struct Case {
        uint64_t CpuTicks::*column;
        int state;  // -1: counted nowhere
    } cases[] = {
        {&CpuTicks::user, CP_USER},  {&CpuTicks::nice, CP_NICE},    {&CpuTicks::system, CP_SYS},
        {&CpuTicks::idle, CP_IDLE},  {&CpuTicks::iowait, CP_IDLE},  {&CpuTicks::irq, CP_INTR},
        {&CpuTicks::softirq, CP_INTR}, {&CpuTicks::steal, -1},
    };
    for (const Case &c : cases) {
        CpuTicks ticks;
        ticks.*c.column = 100;  // one second at USER_HZ 100
        long states[CPUSTATES];
        freebsd_cp_time(ticks, 100, states);
        for (int s = 0; s < CPUSTATES; ++s)
            EXPECT_EQ(states[s], s == c.state ? 128 : 0) << "state " << s << " of row " << &c - cases;
    }
    struct Scale {
        uint64_t ticks;
        long hz, expected;
    } scales[] = {{1, 100, 1}, {3, 100, 3}, {25, 100, 32}, {1000, 1000, 128}, {uint64_t(1) << 55, 128, 1L << 55}};
    for (const Scale &sc : scales) {
        CpuTicks ticks;
        ticks.user = sc.ticks;
        long states[CPUSTATES];
        freebsd_cp_time(ticks, sc.hz, states);
        EXPECT_EQ(states[CP_USER], sc.expected) << sc.ticks << " at " << sc.hz;
    }
}

namespace {

host::CpuSet cpus(std::initializer_list<int> list) {
    host::CpuSet set;
    for (int cpu : list)
        set.set(cpu);
    return set;
}

std::string mask(unsigned long low) {
    std::string m = (std::ostringstream() << std::hex << low).str();
    for (int i = 1; i < 16; ++i)
        m += ",0";
    return m;
}

}  // namespace

TEST(TopologySpec, GroupsOfKnownMachines) {
    using host::CpuSharing;
    auto place = [](int cpu, host::CpuSet package, host::CpuSet threads, host::CpuSet l2, host::CpuSet l3) {
        CpuSharing p;
        p.cpu = cpu;
        p.package = package;
        p.threads = threads;
        p.cache[1] = threads;
        p.cache[2] = l2;
        p.cache[3] = l3;
        return p;
    };
    const std::string smt = " <flags><flag name=\"THREAD\">THREAD group</flag><flag name=\"SMT\">SMT group</flag></flags>\n";
    struct Case {
        const char *what;
        std::vector<CpuSharing> places;
        std::string xml;
    } cases[] = {
        {"two cores sharing their last cache",
         {place(0, cpus({0, 1}), cpus({0}), cpus({0}), cpus({0, 1})),
          place(1, cpus({0, 1}), cpus({1}), cpus({1}), cpus({0, 1}))},
         "<groups>\n <group level=\"1\" cache-level=\"3\">\n  <cpu count=\"2\" mask=\"" + mask(3) +
             "\">0, 1</cpu>\n </group>\n</groups>\n"},
        {"two cores of two threads, L2 per core",
         {place(0, cpus({0, 1, 2, 3}), cpus({0, 1}), cpus({0, 1}), cpus({0, 1, 2, 3})),
          place(1, cpus({0, 1, 2, 3}), cpus({0, 1}), cpus({0, 1}), cpus({0, 1, 2, 3})),
          place(2, cpus({0, 1, 2, 3}), cpus({2, 3}), cpus({2, 3}), cpus({0, 1, 2, 3})),
          place(3, cpus({0, 1, 2, 3}), cpus({2, 3}), cpus({2, 3}), cpus({0, 1, 2, 3}))},
         "<groups>\n <group level=\"1\" cache-level=\"3\">\n  <cpu count=\"4\" mask=\"" + mask(0xf) +
             "\">0, 1, 2, 3</cpu>\n  <children>\n"
             "   <group level=\"2\" cache-level=\"2\">\n    <cpu count=\"2\" mask=\"" + mask(3) + "\">0, 1</cpu>\n   " +
             smt + "   </group>\n"
             "   <group level=\"2\" cache-level=\"2\">\n    <cpu count=\"2\" mask=\"" + mask(0xc) + "\">2, 3</cpu>\n   " +
             smt + "   </group>\n  </children>\n </group>\n</groups>\n"},
        {"two packages of two cores",
         {place(0, cpus({0, 1}), cpus({0}), cpus({0}), cpus({0, 1})),
          place(1, cpus({0, 1}), cpus({1}), cpus({1}), cpus({0, 1})),
          place(2, cpus({2, 3}), cpus({2}), cpus({2}), cpus({2, 3})),
          place(3, cpus({2, 3}), cpus({3}), cpus({3}), cpus({2, 3}))},
         "<groups>\n <group level=\"1\" cache-level=\"0\">\n  <cpu count=\"4\" mask=\"" + mask(0xf) +
             "\">0, 1, 2, 3</cpu>\n  <children>\n"
             "   <group level=\"2\" cache-level=\"3\">\n    <cpu count=\"2\" mask=\"" + mask(3) + "\">0, 1</cpu>\n"
             "   </group>\n"
             "   <group level=\"2\" cache-level=\"3\">\n    <cpu count=\"2\" mask=\"" + mask(0xc) + "\">2, 3</cpu>\n"
             "   </group>\n  </children>\n </group>\n</groups>\n"},
        {"nothing known", {CpuSharing{0, {}, {}, {}}, CpuSharing{1, {}, {}, {}}},
         "<groups>\n <group level=\"1\" cache-level=\"0\">\n  <cpu count=\"2\" mask=\"" + mask(3) +
             "\">0, 1</cpu>\n </group>\n</groups>\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(freebsd_topology_spec(c.places), c.xml) << c.what;
}

TEST(CpuList, SysfsListsIntoSets) {
    struct Case {
        const char *text;
        bool ok;
        host::CpuSet set;
    } cases[] = {
        {"0-3,8\n", true, cpus({0, 1, 2, 3, 8})}, {"5", true, cpus({5})}, {"", true, {}},
        {"3-1", false, {}}, {"a", false, {}}, {"1024", false, {}}, {"1,,2", false, {}},
    };
    for (const Case &c : cases) {
        host::CpuSet set;
        EXPECT_EQ(host::parse_cpu_list(c.text, set), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(set, c.set) << c.text;
        }
    }
}

TEST(PageCounts, QueuesFromMeminfo) {
    constexpr long kPage = 4096;
    struct Case {
        host::Meminfo mem;
        FreebsdPageCounts pages;
    } cases[] = {
        {{.total = 100 * kPage, .free = 10 * kPage, .active = 20 * kPage, .inactive = 30 * kPage},
         {100, 10, 20, 30, 40}},  // wired is the rest
        {{.total = 10 * kPage, .free = 6 * kPage, .active = 3 * kPage, .inactive = 3 * kPage},
         {10, 6, 3, 3, 0}},  // read at different moments: never below zero
        {{.total = 4095}, {0, 0, 0, 0, 0}},
        {{.total = uint64_t(1) << 50}, {UINT32_MAX, 0, 0, 0, UINT32_MAX}},  // beyond a u_int: the largest
    };
    for (const Case &c : cases) {
        FreebsdPageCounts got = freebsd_page_counts(c.mem, kPage);
        EXPECT_EQ(std::memcmp(&got, &c.pages, sizeof(got)), 0) << "row " << &c - cases;
    }
}

TEST(PagerCounts, SwapAndVnodeTraffic) {
    struct Case {
        host::Vmstat vm;
        FreebsdPagerCounts expected;
    } cases[] = {
        {{.pswpin = 3, .pswpout = 4, .pgpgin = 40, .pgpgout = 80}, {3, 4, 7, 16}},  // kB to pages, less swap
        {{.pswpin = 30, .pswpout = 40, .pgpgin = 4, .pgpgout = 8}, {30, 40, 0, 0}},
    };
    for (const Case &c : cases) {
        FreebsdPagerCounts got = freebsd_pager_counts(c.vm, 4096);
        EXPECT_EQ(std::memcmp(&got, &c.expected, sizeof(got)), 0) << "row " << &c - cases;
    }
}

TEST(Vmtotal, SharedMemoryAndQueues) {
    host::Meminfo mem{.total = 100 * 4096, .free = 40 * 4096, .active = 30 * 4096, .shmem = 5 * 4096,
                      .committed = 70 * 4096};
    host::KernelStat stat;
    stat.procs_running = 3;
    stat.procs_blocked = 100000;
    struct vmtotal t = freebsd_vmtotal(mem, stat, 4096);
    EXPECT_EQ(t.t_vmshr, 5u);
    EXPECT_EQ(t.t_rmshr, 5u);
    EXPECT_EQ(t.t_rm, 60u);
    EXPECT_EQ(t.t_arm, 30u);
    EXPECT_EQ(t.t_free, 40u);
    EXPECT_EQ(t.t_vm, 70u);
    EXPECT_EQ(t.t_rq, 3);
    EXPECT_EQ(t.t_dw, INT16_MAX);
}

// FreeBSD's 64-bit counters answer 32 bits, cut, to a caller that asks for 4 bytes.
TEST(Counters, FourBytesToWhoAsksForFour) {
    const uint64_t value = (uint64_t(1) << 32) + 5;
    struct Case {
        size_t asked;
        bool probe;
        size_t size;
        uint64_t seen;
    } cases[] = {{4, false, 4, 5}, {8, false, 8, value}, {4, true, 4, 0}, {0, true, 8, 0}, {16, false, 8, value}};
    for (const Case &c : cases) {
        uint64_t buf[2] = {};
        SysctlReply reply(c.probe ? nullptr : buf, c.asked);
        out_counter(reply, value);
        EXPECT_EQ(reply.size(), c.size) << c.asked;
        EXPECT_EQ(buf[0], c.seen) << c.asked;
    }
}

TEST(SwapDevices, NamesAndTotals) {
    struct Name {
        const char *path;
        int flags;
        const char *name;
    } names[] = {
        {"/dev/sda2", 0, "sda2"},
        {"/dev/sda2", SWIF_DEV_PREFIX, "/dev/sda2"},
        {"/swapfile", 0, "/swapfile"},
        {"/var/lib/a/very/long/path/to/a/swap/file", 0, "/var/lib/a/very/long/path/to/a/"},
    };
    for (const Name &n : names) {
        struct kvm_swap sw = freebsd_swap_device({n.path, 8192 * 3, 4096}, 4096, n.flags);
        EXPECT_STREQ(sw.ksw_devname, n.name);
        EXPECT_EQ(sw.ksw_total, 6u);
        EXPECT_EQ(sw.ksw_used, 1u);
    }
    struct kvm_swap a = {}, b = {};
    a.ksw_total = 10, a.ksw_used = 1, b.ksw_total = 20, b.ksw_used = 2;
    struct Fill {
        std::vector<struct kvm_swap> devices;
        int swap_max, result;
        u_int totals_total;
    } fills[] = {{{}, 1, 0, 0}, {{a, b}, 1, 0, 30}, {{a, b}, 4, 2, 30}, {{a, b}, 2, 1, 30}};
    for (const Fill &f : fills) {
        struct kvm_swap out[4] = {};
        EXPECT_EQ(fill_swap_info(f.devices, out, f.swap_max), f.result);
        EXPECT_EQ(out[f.result].ksw_total, f.totals_total);
        for (int i = 0; i < f.result; ++i)
            EXPECT_EQ(out[i].ksw_total, f.devices[static_cast<size_t>(i)].ksw_total);
    }
}

TEST(Swaps, ParsedWithEscapedPaths) {
    std::vector<host::SwapDevice> devices;
    host::parse_swaps("Filename\tType\tSize\tUsed\tPriority\n/dev/sda2 partition 1024 12 -2\n"
                      "/swap\\040file file 2048 0 -3\n",
                      devices);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].path, "/dev/sda2");
    EXPECT_EQ(devices[0].size, 1024u * 1024);
    EXPECT_EQ(devices[0].used, 12u * 1024);
    EXPECT_EQ(devices[1].path, "/swap file");
    EXPECT_TRUE(devices[0].partition);
    EXPECT_FALSE(devices[1].partition);
}

// vm.swap_info's record of a /proc/swaps line: whole device and used space in pages, capped
// at INT_MAX; SW_UNMAPPED for a partition only; kvm_getswapinfo's entry says the same.
TEST(SwapRecord, FromASwapsLine) {
    struct Case {
        host::SwapDevice device;
        int flags, nblks, used;
    } cases[] = {
        {{"/dev/sda2", 8192 * 3, 4096 + 100, true, 0x801}, SW_UNMAPPED, 6, 1},
        {{"/swapfile", 4096, 0, false, 0xfd00}, 0, 1, 0},
        {{"/dev/huge", uint64_t(1) << 50, uint64_t(1) << 49, true, 7}, SW_UNMAPPED, INT_MAX, INT_MAX},
    };
    for (const Case &c : cases) {
        struct xswdev xs = freebsd_xswdev(c.device, 4096);
        EXPECT_EQ(xs.xsw_version, 2u) << c.device.path;
        EXPECT_EQ(xs.xsw_dev, c.device.device) << c.device.path;
        EXPECT_EQ(xs.xsw_flags, c.flags) << c.device.path;
        EXPECT_EQ(xs.xsw_nblks, c.nblks) << c.device.path;
        EXPECT_EQ(xs.xsw_used, c.used) << c.device.path;
        struct kvm_swap sw = freebsd_swap_device(c.device, 4096, 0);
        EXPECT_EQ(sw.ksw_total, static_cast<u_int>(c.nblks)) << c.device.path;
        EXPECT_EQ(sw.ksw_used, static_cast<u_int>(c.used)) << c.device.path;
        EXPECT_EQ(sw.ksw_flags, c.flags) << c.device.path;
    }
}

// The allocator's control call as FreeBSD's: errors as results, sizes checked.
TEST(Mallctl, ReadsWritesAndRefusals) {
    uint64_t value = 0;
    size_t len = sizeof(value);
    uint32_t small = 0;
    size_t small_len = sizeof(small);
    size_t zero = 0;
    struct Case {
        const char *name;
        void *oldp;
        size_t *oldlenp;
        void *newp;
        size_t newlen;
        int result;
    } cases[] = {
        {"stats.allocated", &value, &len, nullptr, 0, 0},
        {"stats.allocated", &small, &small_len, nullptr, 0, EINVAL},
        {"stats.mapped", &value, &len, &value, sizeof(value), EPERM},
        {"epoch", nullptr, nullptr, &value, sizeof(value), 0},
        {"epoch", nullptr, nullptr, &value, 4, EINVAL},
        {"thread.tcache.flush", &value, &len, nullptr, 0, EPERM},
        {"arena.4096.purge", nullptr, nullptr, nullptr, 0, 0},
        {"arena.0.purge", nullptr, nullptr, nullptr, 0, ENOENT},
        {"stats.nonsense", &value, &zero, nullptr, 0, ENOENT},
    };
    for (const Case &c : cases) {
        len = sizeof(value), small_len = sizeof(small);
        EXPECT_EQ(mallctl(c.name, c.oldp, c.oldlenp, c.newp, c.newlen), c.result) << c.name;
    }
    uint64_t first = 0, second = 0;
    len = sizeof(first);
    ASSERT_EQ(mallctl("epoch", &first, &len, nullptr, 0), 0);
    ASSERT_EQ(mallctl("epoch", nullptr, nullptr, &first, len), 0);
    ASSERT_EQ(mallctl("epoch", &second, &len, nullptr, 0), 0);
    EXPECT_GT(second, first);
}
