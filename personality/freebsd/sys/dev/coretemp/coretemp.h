// dev.cpu.N.temperature and dev.cpu.N.coretemp.tjmax, as FreeBSD's coretemp(4) reports them:
// tenths of a kelvin, from the host's hwmon chips or thermal zones.
#pragma once
#include <cstdint>
#include <vector>

#include "linux/sysfs/thermal.h"

struct CpuTemperature {
    bool has_current = false, has_tjmax = false;
    int current = 0, tjmax = 0;  // tenths of a kelvin
};

// Tenths of a kelvin from millidegrees Celsius, to the nearest tenth.
int decikelvin_from_millicelsius(int64_t millicelsius);
// The temperature of the CPU at place: its core's channel on its package's coretemp chip, else
// that package's channel; else an AMD chip's die temperature; else a CPU thermal zone.
CpuTemperature cpu_temperature_from(const host::CpuPlace &place, const std::vector<host::HwmonChip> &chips,
                                    const std::vector<host::ThermalZone> &zones);

// In tenths of a kelvin; ENOENT without a sensor for that CPU.
int dev_cpu_temperature(int cpu, int &decikelvin);
int dev_cpu_coretemp_tjmax(int cpu, int &decikelvin);
