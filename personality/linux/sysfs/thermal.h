// The host's temperature sensors: hwmon chips (/sys/class/hwmon), thermal zones
// (/sys/class/thermal) and where a CPU sits (/sys/devices/system/cpu/cpuN/topology).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One temperature channel; millidegrees Celsius.
struct TempSensor {
    std::string label;  // "Core 2", "Package id 0", "Tctl"; empty when the chip gives none
    int64_t input = 0;
    bool has_crit = false;
    int64_t crit = 0;
};

struct HwmonChip {
    std::string name;  // "coretemp", "k10temp", ...
    int instance = -1;  // the N of a platform device "NAME.N" behind the chip (coretemp.N), else -1
    std::vector<TempSensor> sensors;  // by channel number
};

struct ThermalZone {
    std::string type;  // "x86_pkg_temp", "cpu-thermal", "acpitz", ...
    TempSensor reading;  // crit: the zone's critical trip point
};

struct CpuPlace {
    int package = -1, core = -1;
};

// The chips and zones in the order of their numbers; none where the class is missing.
std::vector<HwmonChip> read_hwmon(const char *dir = "/sys/class/hwmon");
std::vector<ThermalZone> read_thermal_zones(const char *dir = "/sys/class/thermal");
// 0, or ENOENT when the CPU does not exist.
int read_cpu_place(int cpu, CpuPlace &out, const char *dir = "/sys/devices/system/cpu");

}  // namespace host
