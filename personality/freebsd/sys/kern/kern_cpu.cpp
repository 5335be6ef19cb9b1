// dev.cpu.N.freq and dev.cpu.N.freq_levels, as FreeBSD's cpufreq framework (kern_cpu.c,
// cpufreq_curr_sysctl() and cpufreq_levels_sysctl()) answers them, from the host's cpufreq.
#include "freebsd/sys/kern/kern_cpu.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <vector>

#include "linux/sysfs/cpufreq.h"

// Power of a level the driver does not know: cpufreq(4)'s CPUFREQ_VAL_UNKNOWN.
constexpr int kPowerUnknown = -1;

static int mhz_of(uint64_t khz) { return static_cast<int>(std::min<uint64_t>(khz / 1000, INT32_MAX)); }

std::string freebsd_freq_levels(std::span<const uint64_t> khz) {
    std::vector<int> mhz;
    for (uint64_t k : khz)
        mhz.push_back(mhz_of(k));
    std::sort(mhz.begin(), mhz.end(), std::greater<>());
    mhz.erase(std::unique(mhz.begin(), mhz.end()), mhz.end());
    std::string text;
    for (int level : mhz) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(level) + '/' + std::to_string(kPowerUnknown);
    }
    return text;
}

int dev_cpu_freq(int cpu, int &mhz) {
    uint64_t khz = 0;
    if (host::read_cpufreq_current_khz(cpu, khz) != 0)
        return ENOENT;  // no frequency driver for this CPU: FreeBSD has no such node
    mhz = mhz_of(khz);
    return 0;
}

int dev_cpu_freq_levels(int cpu, std::string &text) {
    std::vector<uint64_t> khz;
    if (host::read_cpufreq_levels_khz(cpu, khz) != 0)
        return ENOENT;
    text = freebsd_freq_levels(khz);
    return 0;
}
