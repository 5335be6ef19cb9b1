// /sys/devices/system/cpu/online and each CPU's topology/ and cache/ files.
#include "linux/sysfs/cpu_topology.h"

#include <cerrno>
#include <string>

#include "linux/text_file.h"

namespace host {
namespace {

const std::string kCpuDir = "/sys/devices/system/cpu/";

// The CPU list in a sysfs file; an empty set when the file is missing or unreadable.
CpuSet read_list(const std::string &path) {
    TextFile file;
    CpuSet set;
    if (file.read(path.c_str()) != 0 || !parse_cpu_list(file.text(), set))
        set.reset();
    return set;
}

void read_caches(CpuSharing &place) {
    std::string base = kCpuDir + "cpu" + std::to_string(place.cpu) + "/cache/index";
    for (int index = 0;; ++index) {
        std::string dir = base + std::to_string(index) + "/";
        TextFile level, type;
        if (level.read((dir + "level").c_str()) != 0)
            return;
        if (type.read((dir + "type").c_str()) == 0 && type.text().starts_with("Instruction"))
            continue;
        unsigned long long n = to_ull(level.text());
        if (n >= 1 && n <= 3)
            place.cache[n] = read_list(dir + "shared_cpu_list");
    }
}

}  // namespace

bool parse_cpu_list(std::string_view text, CpuSet &out) {
    out.reset();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view range = text.substr(0, comma);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        size_t dash = range.find('-');
        std::string_view first = range.substr(0, dash);
        std::string_view last = dash == std::string_view::npos ? first : range.substr(dash + 1);
        if (first.empty() || last.empty() || first.find_first_not_of("0123456789") != std::string_view::npos ||
            last.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        unsigned long long lo = to_ull(first), hi = to_ull(last);
        if (lo > hi || hi >= kMaxCpus)
            return false;
        for (unsigned long long cpu = lo; cpu <= hi; ++cpu)
            out.set(cpu);
    }
    return true;
}

int read_cpu_topology(std::vector<CpuSharing> &out) {
    out.clear();
    CpuSet online = read_list(kCpuDir + "online");
    for (int cpu = 0; cpu < kMaxCpus; ++cpu) {
        if (!online.test(cpu))
            continue;
        CpuSharing place;
        place.cpu = cpu;
        std::string topology = kCpuDir + "cpu" + std::to_string(cpu) + "/topology/";
        place.package = read_list(topology + "package_cpus_list");
        if (place.package.none())
            place.package = read_list(topology + "core_siblings_list");
        place.threads = read_list(topology + "thread_siblings_list");
        if (place.package.none() && place.threads.none())
            return ENOENT;
        read_caches(place);
        out.push_back(place);
    }
    return out.empty() ? ENOENT : 0;
}

}  // namespace host
