// /sys/class/power_supply/*/uevent parsed.
#include "linux/sysfs/power_supply.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string_view>

#include "linux/text_file.h"

namespace host {
namespace {

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

void parse_uevent(std::string_view text, PowerSupply &out) {
    const struct {
        std::string_view key;
        int64_t PowerSupply::*field;
    } numbers[] = {
        {"PRESENT", &PowerSupply::present},         {"ONLINE", &PowerSupply::online},
        {"CAPACITY", &PowerSupply::capacity},       {"ENERGY_NOW", &PowerSupply::energy_now},
        {"ENERGY_FULL", &PowerSupply::energy_full}, {"POWER_NOW", &PowerSupply::power_now},
        {"CHARGE_NOW", &PowerSupply::charge_now},   {"CHARGE_FULL", &PowerSupply::charge_full},
        {"CURRENT_NOW", &PowerSupply::current_now},
    };
    const struct {
        std::string_view key;
        std::string PowerSupply::*field;
    } texts[] = {{"TYPE", &PowerSupply::type}, {"STATUS", &PowerSupply::status}, {"SCOPE", &PowerSupply::scope}};
    while (!text.empty()) {
        std::string_view line = next_line(text);
        size_t eq = line.find('=');
        if (!line.starts_with("POWER_SUPPLY_") || eq == std::string_view::npos)
            continue;
        std::string_view key = line.substr(13, eq - 13), value = line.substr(eq + 1);
        for (const auto &n : numbers)
            if (key == n.key)
                out.*n.field = to_ll(value);
        for (const auto &t : texts)
            if (key == t.key)
                out.*t.field = std::string(value);
    }
}

}  // namespace

std::vector<PowerSupply> read_power_supplies(const char *dir) {
    std::vector<PowerSupply> supplies;
    std::unique_ptr<DIR, DirCloser> d(opendir(dir));
    if (!d)
        return supplies;
    int dfd = dirfd(d.get());
    while (const dirent *e = readdir(d.get())) {
        if (e->d_name[0] == '.')
            continue;
        std::string uevent = std::string(e->d_name) + "/uevent";
        TextFile file;
        if (file.read_at(dfd, uevent.c_str()) != 0)
            continue;
        PowerSupply s;
        parse_uevent(file.text(), s);
        supplies.push_back(std::move(s));
    }
    return supplies;
}

}  // namespace host
