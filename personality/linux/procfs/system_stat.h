// The host's system-wide counters: /proc/stat, /proc/meminfo, /proc/vmstat, /proc/swaps and
// /proc/sys/kernel/pid_max, each parsed from one read.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// A "cpu" line of /proc/stat, in USER_HZ ticks; Linux's user and nice include guest time.
struct CpuTicks {
    uint64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
};

struct KernelStat {
    CpuTicks all;
    std::vector<std::pair<int, CpuTicks>> cpus;  // (cpu number, ticks), in the file's order
    uint64_t intr = 0, ctxt = 0, softirq = 0;   // totals since boot
    uint64_t procs_running = 0, procs_blocked = 0;
};
void parse_kernel_stat(std::string_view text, KernelStat &out);
int read_kernel_stat(KernelStat &out);
// The unit of /proc/stat's CPU times.
long user_hz();

// /proc/meminfo, in bytes.
struct Meminfo {
    uint64_t total = 0, free = 0, buffers = 0, active = 0, inactive = 0, shmem = 0, committed = 0;
};
void parse_meminfo(std::string_view text, Meminfo &out);
int read_meminfo(Meminfo &out);

// /proc/vmstat: pages swapped, kB paged from and to block devices, page faults.
struct Vmstat {
    uint64_t pswpin = 0, pswpout = 0, pgpgin = 0, pgpgout = 0, pgfault = 0;
};
void parse_vmstat(std::string_view text, Vmstat &out);
int read_vmstat(Vmstat &out);

// One line of /proc/swaps, sizes in bytes; read_swaps adds the device number of each (a
// partition's own, a file's file system's; 0 when the path no longer resolves).
struct SwapDevice {
    std::string path;
    uint64_t size = 0, used = 0;
    bool partition = false;
    uint64_t device = 0;
};
void parse_swaps(std::string_view text, std::vector<SwapDevice> &out);
int read_swaps(std::vector<SwapDevice> &out);

// /proc/sys/kernel/pid_max: one more than the largest process id the kernel hands out.
int read_pid_max(uint64_t &out);

}  // namespace host
