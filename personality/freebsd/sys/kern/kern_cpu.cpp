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

int dev_cpu_freq(SysctlArgs args, SysctlReply &reply) {
    if (args.size() != 1)
        return ENOTDIR;
    uint64_t khz = 0;
    if (host::read_cpufreq_current_khz(args[0], khz) != 0)
        return ENOENT;  // no frequency driver for this CPU: FreeBSD has no such node
    int mhz = mhz_of(khz);
    reply.out(&mhz, sizeof(mhz));
    return 0;
}

int dev_cpu_freq_levels(SysctlArgs args, SysctlReply &reply) {
    if (args.size() != 1)
        return ENOTDIR;
    std::vector<uint64_t> khz;
    if (host::read_cpufreq_levels_khz(args[0], khz) != 0)
        return ENOENT;
    std::string text = freebsd_freq_levels(khz);
    reply.out(text.c_str(), text.size() + 1);
    return 0;
}
