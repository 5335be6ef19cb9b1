// The ACPI battery and power-line nodes, from the host's power supplies.
#pragma once
#include <vector>

#include "linux/sysfs/power_supply.h"

// What FreeBSD's ACPI drivers report over all batteries: the charge in percent, the minutes
// left while discharging (-1 otherwise) and whether the external power line is on.
struct AcpiPower {
    bool has_battery = false, has_acline = false;
    int life = -1, time = -1, acline = 0;
};
AcpiPower acpi_power_from(const std::vector<host::PowerSupply> &supplies);

int hw_acpi_battery_life(int &percent);
int hw_acpi_battery_time(int &minutes);
int hw_acpi_acline(int &online);
