// The host's power supplies (/sys/class/power_supply/*/uevent).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One supply, as its uevent file tells it in one read; -1 where the file says nothing.
struct PowerSupply {
    std::string type;    // "Battery", "Mains", "USB", ...
    std::string status;  // a battery's "Charging", "Discharging", "Full", "Not charging", "Unknown"
    std::string scope;   // "Device" for the battery of a peripheral
    int64_t present = -1, online = -1, capacity = -1;
    int64_t energy_now = -1, energy_full = -1, power_now = -1;    // uWh, uWh, uW
    int64_t charge_now = -1, charge_full = -1, current_now = -1;  // uAh, uAh, uA
};

// The supplies under dir (the host's is /sys/class/power_supply); none when it is missing.
std::vector<PowerSupply> read_power_supplies(const char *dir = "/sys/class/power_supply");

}  // namespace host
