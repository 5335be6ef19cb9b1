// The system-wide nodes of the personality (CPU, memory, swap, allocator): their conversions
// row by row, and their values against what Linux itself says.
#include <sys/sysctl.h>

#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "dev_cpu.h"

extern "C" {
void lumvik_control_clear(const char *key);
}

namespace {

using test_support::read_whole;

std::string cpufreq_file(int cpu, const char *file) {
    return "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/" + file;
}

}  // namespace

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

// The current frequency of every CPU as sysfs tells it, or no node where sysfs has none.
TEST(DevCpu, FrequencyIsTheHostsOrAbsent) {
    long cpus = sysconf(_SC_NPROCESSORS_CONF);
    for (int cpu = 0; cpu <= cpus; ++cpu) {  // one past the last has none
        std::string name = "dev.cpu." + std::to_string(cpu) + ".freq";
        int mhz = 0;
        size_t len = sizeof(mhz);
        std::string khz = read_whole(cpufreq_file(cpu, "scaling_cur_freq"));
        errno = 0;
        int rc = sysctlbyname(name.c_str(), &mhz, &len, nullptr, 0);
        if (khz.empty()) {
            EXPECT_EQ(rc, -1) << name;
            EXPECT_EQ(errno, ENOENT) << name;
        } else {
            ASSERT_EQ(rc, 0) << name;
            EXPECT_NEAR(mhz, std::stoll(khz) / 1000, 1000) << name;  // it moves between the reads
        }
    }
}
