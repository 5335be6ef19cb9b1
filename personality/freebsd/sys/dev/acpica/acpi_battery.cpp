// hw.acpi.battery.life, hw.acpi.battery.time and hw.acpi.acline, as FreeBSD's
// acpi_battery_sysctl() (acpi_battery.c) and acpi_acad_sysctl() (acpi_acad.c) answer them, from
// the host's power supplies.
#include "freebsd/sys/dev/acpica/acpi_battery.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace {

bool is_system_battery(const host::PowerSupply &s) {
    return s.type == "Battery" && s.scope != "Device" && s.present != 0;
}

// Sums of a figure over the batteries; false when one of them lacks it.
bool sum(const std::vector<const host::PowerSupply *> &batteries, int64_t host::PowerSupply::*field, int64_t &total) {
    total = 0;
    for (const host::PowerSupply *b : batteries) {
        if (b->*field < 0)
            return false;
        total += b->*field;
    }
    return true;
}

// Remaining and full amounts, and the rate of drain, in energy or else in charge.
struct Amounts {
    int64_t now = 0, full = 0, rate = 0;
    bool known = false;
};
Amounts amounts_of(const std::vector<const host::PowerSupply *> &batteries) {
    const struct {
        int64_t host::PowerSupply::*now, host::PowerSupply::*full, host::PowerSupply::*rate;
    } units[] = {
        {&host::PowerSupply::energy_now, &host::PowerSupply::energy_full, &host::PowerSupply::power_now},
        {&host::PowerSupply::charge_now, &host::PowerSupply::charge_full, &host::PowerSupply::current_now},
    };
    for (const auto &u : units) {
        Amounts a;
        if (sum(batteries, u.now, a.now) && sum(batteries, u.full, a.full) && a.full > 0) {
            if (!sum(batteries, u.rate, a.rate))
                a.rate = 0;
            a.known = true;
            return a;
        }
    }
    return {};
}

// No battery or no power line: FreeBSD without the ACPI driver has no such node.
int present_value(bool present, int value, int &out) {
    if (!present)
        return ENOENT;
    out = value;
    return 0;
}

}  // namespace

AcpiPower acpi_power_from(const std::vector<host::PowerSupply> &supplies) {
    AcpiPower p;
    std::vector<const host::PowerSupply *> batteries;
    bool discharging = false;
    for (const host::PowerSupply &s : supplies) {
        if (is_system_battery(s)) {
            batteries.push_back(&s);
            discharging |= s.status == "Discharging";
        } else if (s.type == "Mains" && s.online >= 0) {
            p.has_acline = true;
            p.acline |= s.online > 0;
        }
    }
    if (batteries.empty())
        return p;
    p.has_battery = true;
    if (!p.has_acline) {  // no adapter of its own: the batteries tell whether they drain
        p.has_acline = true;
        p.acline = !discharging;
    }
    Amounts a = amounts_of(batteries);
    if (a.known) {
        p.life = static_cast<int>(std::min<int64_t>(100, a.now * 100 / a.full));
    } else {
        int64_t capacities = 0;
        if (sum(batteries, &host::PowerSupply::capacity, capacities))
            p.life = static_cast<int>(std::min<int64_t>(100, capacities / static_cast<int64_t>(batteries.size())));
    }
    if (discharging && a.known && a.rate > 0)
        p.time = static_cast<int>(a.now * 60 / a.rate);
    return p;
}

int hw_acpi_battery_life(int &percent) {
    AcpiPower p = acpi_power_from(host::read_power_supplies());
    return present_value(p.has_battery, p.life, percent);
}

int hw_acpi_battery_time(int &minutes) {
    AcpiPower p = acpi_power_from(host::read_power_supplies());
    return present_value(p.has_battery, p.time, minutes);
}

int hw_acpi_acline(int &online) {
    AcpiPower p = acpi_power_from(host::read_power_supplies());
    return present_value(p.has_acline, p.acline, online);
}
