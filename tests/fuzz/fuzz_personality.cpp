// libFuzzer targets: the personality's readers of host text, and the conversions that turn what
// they read into FreeBSD records, fed arbitrary bytes. One binary; LUMVIK_FUZZ_TARGET names the
// target. A target is a function of the input and a row of kTargets.
#include <sys/sysctl.h>
#include <sys/user.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "freebsd/sys/kern/kern_cpu.h"
#include "linux/sysfs/cpu_topology.h"
#include "linux/procfs/diskstats.h"
#include "linux/procfs/fds.h"
#include "linux/procfs/maps.h"
#include "linux/procfs/mounts.h"
#include "linux/procfs/procfs.h"
#include "linux/syscalls/rlimits.h"
#include "linux/net/proc_net.h"
#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_clock.h"
#include "freebsd/lib/libkvm/kvm_getswapinfo.h"
#include "freebsd/lib/libutil/kinfo_getfile_conversions.h"
#include "freebsd/lib/libutil/kinfo_getvmmap_conversions.h"
#include "freebsd/sys/kern/kern_proc_kinfo_fill.h"
#include "freebsd/sys/kern/kern_sysctl.h"
#include "freebsd/sys/vm/vm_meter.h"

namespace {

const proc_record::HostClock kClock{.ticks_per_second = 100, .page_size = 4096, .boot_time = 1000};

// The input cut at its first newline: a head (a link text, a table name) and the rest.
std::pair<std::string_view, std::string_view> split_head(std::string_view in) {
    size_t nl = in.find('\n');
    if (nl == std::string_view::npos)
        return {in, {}};
    return {in.substr(0, nl), in.substr(nl + 1)};
}

// The first bytes of in, as many as fit in dst (an empty input or buffer may have no address).
void copy_prefix(void *dst, size_t size, std::string_view in) {
    if (size > 0 && !in.empty())
        std::memcpy(dst, in.data(), std::min(size, in.size()));
}

template <class T>
T number_of(std::string_view in) {
    T value = 0;
    copy_prefix(&value, sizeof(value), in);
    return value;
}

void fill_record(const host::ProcessSnapshot &s) {
    struct kinfo_proc kp;
    proc_record::fill_process(s, kClock, &kp);
}

void stat(std::string_view in) {
    host::ProcessSnapshot s;
    if (host::parse_stat(in, s.stat))
        fill_record(s);
}

void status(std::string_view in) {
    host::ProcessSnapshot s;
    if (host::parse_status(in, s.status))
        fill_record(s);
}

void io(std::string_view in) {
    host::ProcessSnapshot s;
    host::parse_io(in, s.io);
    fill_record(s);
}

void smaps(std::string_view in) {
    std::vector<host::MapEntry> entries;
    host::parse_smaps(in, entries);
    for (const host::MapEntry &e : entries) {
        struct kinfo_vmentry kve = {};
        getvmmap::fill_mapping(e, 4096, kve);
    }
}

// A descriptor: its link text on the first line, then its fdinfo.
void fdinfo(std::string_view in) {
    auto [link, info] = split_head(in);
    host::Descriptor d;
    d.file.link = link;
    d.file.has_stat = !link.empty() && link[0] == '/';
    d.file.mode = number_of<uint32_t>(info);
    d.file.pty_master = link == "/dev/ptmx";
    d.has_info = true;
    host::parse_fdinfo(info, d.info);
    struct kinfo_file kf = {};
    getfile::fill_descriptor(d, {}, kf);
}

// A socket table's name on the first line, then one of its lines.
void net(std::string_view in) {
    auto [table, line] = split_head(in);
    host::SocketTable sockets;
    host::SocketFacts &s = sockets.sockets.emplace_back();
    if (!host::parse_table_line(table, line, s))
        return;
    host::Descriptor d;
    d.file.link = "socket:[" + std::to_string(s.inode) + "]";
    struct kinfo_file kf = {};
    getfile::fill_descriptor(d, sockets, kf);
}

void limits(std::string_view in) {
    for (int limit = 0; limit <= static_cast<int>(host::Limit::as); ++limit) {
        host::LimitPair pair;
        host::parse_limits(in, static_cast<host::Limit>(limit), pair);
    }
}

void terminal(std::string_view in) {
    uint32_t tty_nr = number_of<uint32_t>(in);
    host::terminal_path(tty_nr);
    host::terminal_device_number(tty_nr);
}

void freq_levels(std::string_view in) {
    std::vector<uint64_t> khz(in.size() / sizeof(uint64_t));
    copy_prefix(khz.data(), khz.size() * sizeof(uint64_t), in);
    freebsd_freq_levels(khz);
}

// A node's name, as sysctlnametomib and sysctlbyname's lookup take it.
void sysctl_name(std::string_view in) {
    std::string name(in);  // NUL-terminated; an inner NUL ends it early, as in C
    SysctlMatch match;
    if (sysctl_find(name.c_str(), match) == 0) {
        int mib[SYSCTL_NODE_MAXNAME];
        sysctl_number(match, mib);
        sysctl_concrete_name(match);
    }
    int mib[CTL_MAXNAME];
    size_t len = CTL_MAXNAME;
    sysctlnametomib(name.c_str(), mib, &len);
}

// A node's number, as sysctl(3) looks it up, and as the tree's own nodes take it: its name,
// the node after it and its format, into a buffer a little short of some answers.
void sysctl_mib(std::string_view in) {
    std::vector<int> mib(std::min<size_t>(in.size() / sizeof(int), CTL_MAXNAME + 2));
    copy_prefix(mib.data(), mib.size() * sizeof(int), in);
    SysctlMatch match;
    sysctl_find(mib.data(), static_cast<unsigned>(mib.size()), match);
    for (int query : {CTL_SYSCTL_NAME, CTL_SYSCTL_NEXT, CTL_SYSCTL_OIDFMT, CTL_SYSCTL_NEXTNOSKIP}) {
        std::vector<int> oid{CTL_SYSCTL, query};
        oid.insert(oid.end(), mib.begin(), mib.begin() + std::min<size_t>(mib.size(), CTL_MAXNAME - 2));
        char out[24];
        size_t len = sizeof(out);
        sysctl(oid.data(), static_cast<unsigned>(oid.size()), out, &len, nullptr, 0);
    }
}

// /proc/stat, into FreeBSD's CPU states and memory totals.
void kernel_stat(std::string_view in) {
    host::KernelStat stat;
    host::parse_kernel_stat(in, stat);
    long states[CPUSTATES];
    freebsd_cp_time(stat.all, 100, states);
    for (const auto &[cpu, ticks] : stat.cpus)
        freebsd_cp_time(ticks, 100, states);
    freebsd_vmtotal({}, stat, 4096);
}

// /proc/meminfo and /proc/vmstat, into FreeBSD's page queues and pager counts.
void meminfo(std::string_view in) {
    host::Meminfo mem;
    host::parse_meminfo(in, mem);
    freebsd_page_counts(mem, 4096);
    freebsd_vmtotal(mem, {}, 4096);
    host::Vmstat vm;
    host::parse_vmstat(in, vm);
    freebsd_pager_counts(vm, 4096);
}

// /proc/swaps, into kvm_getswapinfo's records and totals.
void swaps(std::string_view in) {
    std::vector<host::SwapDevice> devices;
    host::parse_swaps(in, devices);
    std::vector<struct kvm_swap> records;
    for (const host::SwapDevice &d : devices)
        records.push_back(freebsd_swap_device(d, 4096, 0));
    struct kvm_swap out[3];
    fill_swap_info(records, out, 3);
}

// A sysfs CPU list, as the topology reads it.
void cpu_list(std::string_view in) {
    host::CpuSet set;
    host::parse_cpu_list(in, set);
}

// The whole-disk counters and the mount table, as the personality reads them.
void diskstats(std::string_view in) { host::parse_diskstats(in); }
void mountinfo(std::string_view in) { host::parse_mountinfo(in); }

struct Target {
    const char *name;
    void (*run)(std::string_view input);
};
constexpr Target kTargets[] = {
    {"stat", stat},           {"status", status},   {"io", io},
    {"smaps", smaps},         {"fdinfo", fdinfo},   {"net", net},
    {"limits", limits},       {"terminal", terminal}, {"freq_levels", freq_levels},
    {"sysctl_name", sysctl_name}, {"sysctl_mib", sysctl_mib},
    {"kernel_stat", kernel_stat}, {"meminfo", meminfo}, {"swaps", swaps}, {"cpu_list", cpu_list},
    {"diskstats", diskstats}, {"mountinfo", mountinfo},
};

const Target *chosen = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *name = std::getenv("LUMVIK_FUZZ_TARGET");
    for (const Target &t : kTargets)
        if (name != nullptr && std::strcmp(name, t.name) == 0)
            chosen = &t;
    if (chosen == nullptr) {  // the list, for ./dev to walk
        for (const Target &t : kTargets)
            std::printf("%s\n", t.name);
        std::exit(name == nullptr ? 0 : 2);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    chosen->run(std::string_view(reinterpret_cast<const char *>(data), size));
    return 0;
}
