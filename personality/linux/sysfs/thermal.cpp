// /sys/class/hwmon and /sys/class/thermal sensors, and a CPU's place in its package.
#include "linux/sysfs/thermal.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "linux/text_file.h"

namespace host {
namespace {

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// The first line of a small file, without its newline; false when it cannot be read.
bool read_line(int dirfd, const std::string &name, std::string &out) {
    TextFile file;
    if (file.read_at(dirfd, name.c_str()) != 0)
        return false;
    std::string_view text = file.text();
    out = std::string(next_line(text));
    return true;
}

bool read_number(int dirfd, const std::string &name, int64_t &out) {
    std::string line;
    if (!read_line(dirfd, name, line) || line.empty())
        return false;
    out = to_ll(line);
    return true;
}

// The numbers N of the entries "prefixN" of a directory, sorted.
std::vector<int> numbered_entries(DIR *d, std::string_view prefix, std::string_view suffix = {}) {
    std::vector<int> numbers;
    while (const dirent *e = readdir(d)) {
        std::string_view name = e->d_name;
        if (!name.starts_with(prefix) || !name.ends_with(suffix) || name.size() <= prefix.size() + suffix.size())
            continue;
        std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        int n = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec == std::errc() && end == digits.data() + digits.size())
            numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// "coretemp.1" behind device: 1.
int platform_instance(int dirfd, const std::string &name) {
    char target[4096];
    ssize_t n = readlinkat(dirfd, "device", target, sizeof(target) - 1);
    if (n <= 0)
        return -1;
    std::string_view link(target, static_cast<size_t>(n));
    std::string_view base = link.substr(link.rfind('/') + 1);
    if (!base.starts_with(name + "."))
        return -1;
    std::string_view digits = base.substr(name.size() + 1);
    int instance = -1;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), instance);
    return ec == std::errc() && end == digits.data() + digits.size() ? instance : -1;
}

HwmonChip read_chip(int dirfd) {
    HwmonChip chip;
    read_line(dirfd, "name", chip.name);
    chip.instance = platform_instance(dirfd, chip.name);
    Dir listing(fdopendir(dup(dirfd)));
    if (!listing)
        return chip;
    for (int channel : numbered_entries(listing.get(), "temp", "_input")) {
        std::string prefix = "temp" + std::to_string(channel);
        TempSensor s;
        if (!read_number(dirfd, prefix + "_input", s.input))
            continue;
        read_line(dirfd, prefix + "_label", s.label);
        s.has_crit = read_number(dirfd, prefix + "_crit", s.crit);
        chip.sensors.push_back(std::move(s));
    }
    return chip;
}

// A zone's critical trip point, if it has one.
void read_critical_trip(int dirfd, TempSensor &s) {
    Dir listing(fdopendir(dup(dirfd)));
    if (!listing)
        return;
    for (int trip : numbered_entries(listing.get(), "trip_point_", "_type")) {
        std::string prefix = "trip_point_" + std::to_string(trip);
        std::string type;
        if (read_line(dirfd, prefix + "_type", type) && type == "critical" &&
            read_number(dirfd, prefix + "_temp", s.crit)) {
            s.has_crit = true;
            return;
        }
    }
}

template <class Read>
void for_each_numbered_dir(const char *dir, std::string_view prefix, Read read) {
    Dir listing(opendir(dir));
    if (!listing)
        return;
    for (int n : numbered_entries(listing.get(), prefix)) {
        std::string path = std::string(dir) + "/" + std::string(prefix) + std::to_string(n);
        int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue;
        read(fd);
        close(fd);
    }
}

}  // namespace

std::vector<HwmonChip> read_hwmon(const char *dir) {
    std::vector<HwmonChip> chips;
    for_each_numbered_dir(dir, "hwmon", [&](int fd) { chips.push_back(read_chip(fd)); });
    return chips;
}

std::vector<ThermalZone> read_thermal_zones(const char *dir) {
    std::vector<ThermalZone> zones;
    for_each_numbered_dir(dir, "thermal_zone", [&](int fd) {
        ThermalZone z;
        if (!read_line(fd, "type", z.type) || !read_number(fd, "temp", z.reading.input))
            return;
        read_critical_trip(fd, z.reading);
        zones.push_back(std::move(z));
    });
    return zones;
}

int read_cpu_place(int cpu, CpuPlace &out, const char *dir) {
    if (cpu < 0)
        return ENOENT;
    std::string topology = std::string(dir) + "/cpu" + std::to_string(cpu) + "/topology";
    int fd = open(topology.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ENOENT;
    int64_t package = -1, core = -1;
    read_number(fd, "physical_package_id", package);
    read_number(fd, "core_id", core);
    close(fd);
    out.package = static_cast<int>(package);
    out.core = static_cast<int>(core);
    return 0;
}

}  // namespace host
