// The host's CPU frequency scaling (/sys/devices/system/cpu/cpuN/cpufreq), in kHz.
#pragma once
#include <cstdint>
#include <vector>

namespace host {

// 0, or ENOENT when the CPU has no frequency driver (or does not exist).
int read_cpufreq_current_khz(int cpu, uint64_t &khz);
// The frequencies the driver offers, or, when it lists none, its highest and lowest.
int read_cpufreq_levels_khz(int cpu, std::vector<uint64_t> &khz);

}  // namespace host
