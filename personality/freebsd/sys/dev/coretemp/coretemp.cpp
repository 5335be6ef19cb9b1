// dev.cpu.N.temperature and dev.cpu.N.coretemp.tjmax, as FreeBSD's coretemp_get_val_sysctl()
// (dev/coretemp/coretemp.c) answers them, from the host's hwmon chips or thermal zones.
#include "freebsd/sys/dev/coretemp/coretemp.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <string_view>

namespace {

constexpr int64_t kZeroCelsius = 2731;  // in tenths of a kelvin, as FreeBSD counts it

// Chips of AMD processors: one per package, their die channel preferred to the control one.
constexpr std::string_view amd_chips[] = {"k10temp", "zenpower"};
constexpr std::string_view amd_die_labels[] = {"Tdie", "Tctl"};
// Thermal zones that measure the processor.
constexpr std::string_view cpu_zones[] = {"x86_pkg_temp", "cpu-thermal", "cpu_thermal", "cpu0-thermal"};

template <class Range, class T>
bool contains(const Range &range, const T &value) {
    return std::ranges::find(range, value) != std::end(range);
}

CpuTemperature from_sensor(const host::TempSensor &s) {
    CpuTemperature t;
    t.has_current = true;
    t.current = decikelvin_from_millicelsius(s.input);
    t.has_tjmax = s.has_crit;
    t.tjmax = s.has_crit ? decikelvin_from_millicelsius(s.crit) : 0;
    return t;
}

const host::TempSensor *labelled(const host::HwmonChip &chip, std::string_view label) {
    for (const host::TempSensor &s : chip.sensors)
        if (s.label == label)
            return &s;
    return nullptr;
}

const host::TempSensor *coretemp_sensor(const host::CpuPlace &place, const std::vector<host::HwmonChip> &chips) {
    for (const host::HwmonChip &chip : chips) {
        if (chip.name != "coretemp" || (chip.instance >= 0 && chip.instance != place.package))
            continue;
        if (const host::TempSensor *s = labelled(chip, "Core " + std::to_string(place.core)))
            return s;
        if (const host::TempSensor *s = labelled(chip, "Package id " + std::to_string(place.package)))
            return s;
    }
    return nullptr;
}

const host::TempSensor *amd_sensor(const host::CpuPlace &place, const std::vector<host::HwmonChip> &chips) {
    std::vector<const host::HwmonChip *> amd;
    for (const host::HwmonChip &chip : chips)
        if (contains(amd_chips, chip.name) && !chip.sensors.empty())
            amd.push_back(&chip);
    if (amd.empty())
        return nullptr;
    const host::HwmonChip &chip = *amd[place.package >= 0 && static_cast<size_t>(place.package) < amd.size()
                                            ? static_cast<size_t>(place.package)
                                            : 0];
    for (std::string_view label : amd_die_labels)
        if (const host::TempSensor *s = labelled(chip, label))
            return s;
    return &chip.sensors.front();
}

int decikelvin(int cpu, bool CpuTemperature::*has, int CpuTemperature::*value, int &out) {
    host::CpuPlace place;
    if (host::read_cpu_place(cpu, place) != 0)
        return ENOENT;
    CpuTemperature t = cpu_temperature_from(place, host::read_hwmon(), host::read_thermal_zones());
    if (!(t.*has))
        return ENOENT;  // no sensor: FreeBSD without coretemp(4) has no such node
    out = t.*value;
    return 0;
}

}  // namespace

int decikelvin_from_millicelsius(int64_t mc) {
    int64_t tenths = mc >= 0 ? (mc + 50) / 100 : (mc - 50) / 100;
    int64_t dk = std::clamp<int64_t>(tenths + kZeroCelsius, std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::max());
    return static_cast<int>(dk);
}

CpuTemperature cpu_temperature_from(const host::CpuPlace &place, const std::vector<host::HwmonChip> &chips,
                                    const std::vector<host::ThermalZone> &zones) {
    if (const host::TempSensor *s = coretemp_sensor(place, chips))
        return from_sensor(*s);
    if (const host::TempSensor *s = amd_sensor(place, chips))
        return from_sensor(*s);
    for (const host::ThermalZone &zone : zones)
        if (contains(cpu_zones, zone.type))
            return from_sensor(zone.reading);
    return {};
}

int dev_cpu_temperature(int cpu, int &decikelvin_out) {
    return decikelvin(cpu, &CpuTemperature::has_current, &CpuTemperature::current, decikelvin_out);
}

int dev_cpu_coretemp_tjmax(int cpu, int &decikelvin_out) {
    return decikelvin(cpu, &CpuTemperature::has_tjmax, &CpuTemperature::tjmax, decikelvin_out);
}
