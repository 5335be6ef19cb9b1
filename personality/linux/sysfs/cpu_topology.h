// Where each online CPU sits, as sysfs tells it (/sys/devices/system/cpu).
#pragma once
#include <bitset>
#include <string_view>
#include <vector>

namespace host {

constexpr int kMaxCpus = 1024;
using CpuSet = std::bitset<kMaxCpus>;

struct CpuSharing {
    int cpu = 0;
    CpuSet package;   // the CPUs of its package
    CpuSet threads;   // its hardware threads' CPUs (SMT siblings), itself included
    CpuSet cache[4];  // by level 1 to 3: the CPUs sharing its data or unified cache; empty if unknown
};

// "0-3,8,10-11" into a set; false for text that is no CPU list.
bool parse_cpu_list(std::string_view text, CpuSet &out);
// Every online CPU, by number; ENOENT when the host shows no topology.
int read_cpu_topology(std::vector<CpuSharing> &out);

}  // namespace host
