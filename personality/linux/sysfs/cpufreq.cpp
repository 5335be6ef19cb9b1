// /sys/devices/system/cpu/cpuN/cpufreq: the current frequency and the available ones.
#include "linux/sysfs/cpufreq.h"

#include <cerrno>
#include <string>
#include <string_view>

#include "linux/text_file.h"

namespace host {
namespace {

// A file of the CPU's cpufreq directory; ENOENT for a CPU number that cannot exist.
int read_cpufreq_file(int cpu, const char *file, TextFile &out) {
    if (cpu < 0)
        return ENOENT;
    std::string path = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/" + file;
    return out.read(path.c_str());
}

int read_numbers(int cpu, const char *file, std::vector<uint64_t> &out) {
    TextFile text;
    if (int err = read_cpufreq_file(cpu, file, text))
        return err;
    std::string_view rest = text.text();
    for (std::string_view field = next_field(rest); !field.empty(); field = next_field(rest))
        out.push_back(to_ull(field));
    return 0;
}

}  // namespace

int read_cpufreq_current_khz(int cpu, uint64_t &khz) {
    std::vector<uint64_t> value;
    if (int err = read_numbers(cpu, "scaling_cur_freq", value))
        return err;
    if (value.empty())
        return ENOENT;
    khz = value.front();
    return 0;
}

int read_cpufreq_levels_khz(int cpu, std::vector<uint64_t> &khz) {
    khz.clear();
    if (read_numbers(cpu, "scaling_available_frequencies", khz) == 0 && !khz.empty())
        return 0;
    khz.clear();
    if (int err = read_numbers(cpu, "cpuinfo_max_freq", khz))
        return err;
    return read_numbers(cpu, "cpuinfo_min_freq", khz);
}

}  // namespace host
