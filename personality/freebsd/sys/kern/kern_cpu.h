// The per-CPU device nodes, dev.cpu.N.*: the unit N is the CPU.
#pragma once
#include <cstdint>
#include <span>
#include <string>


int dev_cpu_freq(int cpu, int &mhz);
int dev_cpu_freq_levels(int cpu, std::string &text);

// cpufreq(4)'s text of the levels: "MHz/mW" pairs, fastest first, power unknown (-1).
std::string freebsd_freq_levels(std::span<const uint64_t> khz);
