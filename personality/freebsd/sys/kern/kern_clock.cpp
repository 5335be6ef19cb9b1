// kern.cp_time and kern.cp_times: FreeBSD's sysctl_kern_cp_time() and sysctl_kern_cp_times(),
// from the host's /proc/stat.
#include "freebsd/sys/kern/kern_clock.h"

#include <algorithm>
#include <vector>

namespace {

using host::CpuTicks;

// Where each Linux column of /proc/stat goes among FreeBSD's states. Waiting for I/O is idle
// time on FreeBSD, software interrupts run in interrupt threads. Steal time is not counted:
// FreeBSD's statistics clock does not see the time the hypervisor gave to others; guest time
// is already inside Linux's user and nice.
constexpr struct {
    uint64_t CpuTicks::*column;
    int state;
} kColumnStates[] = {
    {&CpuTicks::user, CP_USER},  {&CpuTicks::nice, CP_NICE},    {&CpuTicks::system, CP_SYS},
    {&CpuTicks::irq, CP_INTR},   {&CpuTicks::softirq, CP_INTR}, {&CpuTicks::idle, CP_IDLE},
    {&CpuTicks::iowait, CP_IDLE},
};

}  // namespace

void freebsd_cp_time(const CpuTicks &ticks, long user_hz, long out[CPUSTATES]) {
    unsigned __int128 sums[CPUSTATES] = {};
    for (const auto &cs : kColumnStates)
        sums[cs.state] += ticks.*cs.column;
    for (int state = 0; state < CPUSTATES; ++state)
        out[state] = user_hz > 0 ? static_cast<long>(sums[state] * kStathz / static_cast<unsigned>(user_hz)) : 0;
}

int kern_cp_time(long (&states)[CPUSTATES]) {
    host::KernelStat stat;
    if (int err = host::read_kernel_stat(stat))
        return err;
    freebsd_cp_time(stat.all, host::user_hz(), states);
    return 0;
}

// One row per CPU number up to the highest, as FreeBSD's table runs to mp_maxid: a CPU the
// host does not list (offline) has a row of zeros.
int kern_cp_times(SysctlArgs, SysctlReply &reply) {
    host::KernelStat stat;
    if (int err = host::read_kernel_stat(stat))
        return err;
    int maxid = -1;
    for (const auto &[cpu, ticks] : stat.cpus)
        maxid = std::max(maxid, cpu);
    std::vector<long> table(static_cast<size_t>(maxid + 1) * CPUSTATES, 0);
    long hz = host::user_hz();
    for (const auto &[cpu, ticks] : stat.cpus)
        if (cpu >= 0)
            freebsd_cp_time(ticks, hz, &table[static_cast<size_t>(cpu) * CPUSTATES]);
    reply.out(table.data(), table.size() * sizeof(long));
    return 0;
}
