// /proc/stat, /proc/meminfo, /proc/vmstat and /proc/swaps parsed (proc(5)); a swap device's
// number from stat(2).
#include "linux/procfs/system_stat.h"

#include <sys/stat.h>
#include <unistd.h>

#include "linux/text_file.h"

namespace host {
namespace {

// The fields of a "cpu" line after its name, in proc(5)'s order.
constexpr uint64_t CpuTicks::*kCpuColumns[] = {
    &CpuTicks::user, &CpuTicks::nice, &CpuTicks::system, &CpuTicks::idle,
    &CpuTicks::iowait, &CpuTicks::irq, &CpuTicks::softirq, &CpuTicks::steal,
};

CpuTicks parse_cpu_fields(std::string_view rest) {
    CpuTicks ticks;
    for (auto column : kCpuColumns)
        ticks.*column = to_ull(next_field(rest));
    return ticks;
}

template <class Record>
struct Key {
    std::string_view name;
    uint64_t Record::*field;
};

// "name value" lines (or "name: value kB"), each known name into its field, scaled.
template <class Record, size_t N>
void parse_keyed(std::string_view text, const Key<Record> (&keys)[N], uint64_t scale, Record &out) {
    while (!text.empty()) {
        std::string_view line = next_line(text);
        std::string_view name = next_field(line);
        if (!name.empty() && name.back() == ':')
            name.remove_suffix(1);
        for (const Key<Record> &key : keys)
            if (key.name == name)
                out.*key.field = to_ull(next_field(line)) * scale;
    }
}

template <class Parse, class Out>
int read_and_parse(const char *path, Parse parse, Out &out) {
    TextFile file;
    if (int err = file.read(path))
        return err;
    parse(file.text(), out);
    return 0;
}

}  // namespace

void parse_kernel_stat(std::string_view text, KernelStat &out) {
    out = {};
    while (!text.empty()) {
        std::string_view line = next_line(text);
        std::string_view name = next_field(line);
        if (name == "cpu")
            out.all = parse_cpu_fields(line);
        else if (name.starts_with("cpu"))
            out.cpus.emplace_back(static_cast<int>(to_ll(name.substr(3))), parse_cpu_fields(line));
        else if (name == "intr")
            out.intr = to_ull(next_field(line));
        else if (name == "ctxt")
            out.ctxt = to_ull(next_field(line));
        else if (name == "softirq")
            out.softirq = to_ull(next_field(line));
        else if (name == "procs_running")
            out.procs_running = to_ull(next_field(line));
        else if (name == "procs_blocked")
            out.procs_blocked = to_ull(next_field(line));
    }
}

int read_kernel_stat(KernelStat &out) { return read_and_parse("/proc/stat", parse_kernel_stat, out); }

long user_hz() { return sysconf(_SC_CLK_TCK); }

void parse_meminfo(std::string_view text, Meminfo &out) {
    static constexpr Key<Meminfo> keys[] = {
        {"MemTotal", &Meminfo::total},   {"MemFree", &Meminfo::free},         {"Buffers", &Meminfo::buffers},
        {"Active", &Meminfo::active},    {"Inactive", &Meminfo::inactive},    {"Shmem", &Meminfo::shmem},
        {"Committed_AS", &Meminfo::committed},
    };
    out = {};
    parse_keyed(text, keys, 1024, out);
}

int read_meminfo(Meminfo &out) { return read_and_parse("/proc/meminfo", parse_meminfo, out); }

void parse_vmstat(std::string_view text, Vmstat &out) {
    static constexpr Key<Vmstat> keys[] = {
        {"pswpin", &Vmstat::pswpin},   {"pswpout", &Vmstat::pswpout}, {"pgpgin", &Vmstat::pgpgin},
        {"pgpgout", &Vmstat::pgpgout}, {"pgfault", &Vmstat::pgfault},
    };
    out = {};
    parse_keyed(text, keys, 1, out);
}

int read_vmstat(Vmstat &out) { return read_and_parse("/proc/vmstat", parse_vmstat, out); }

// A path as /proc/swaps writes it: blanks, tabs, newlines and backslashes as octal escapes.
static std::string unescape_octal(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            field.substr(i + 1, 3).find_first_not_of("01234567") == std::string_view::npos) {
            out += static_cast<char>(to_ull(field.substr(i + 1, 3), 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

void parse_swaps(std::string_view text, std::vector<SwapDevice> &out) {
    out.clear();
    next_line(text);  // the heading
    while (!text.empty()) {
        std::string_view line = next_line(text);
        std::string_view path = next_field(line);
        if (path.empty())
            continue;
        SwapDevice device;
        device.partition = next_field(line) == "partition";
        device.path = unescape_octal(path);
        device.size = to_ull(next_field(line)) * 1024;
        device.used = to_ull(next_field(line)) * 1024;
        out.push_back(std::move(device));
    }
}

int read_swaps(std::vector<SwapDevice> &out) {
    if (int err = read_and_parse("/proc/swaps", parse_swaps, out))
        return err;
    for (SwapDevice &device : out) {
        struct stat st;
        if (stat(device.path.c_str(), &st) == 0)
            device.device = S_ISBLK(st.st_mode) ? st.st_rdev : st.st_dev;
    }
    return 0;
}

int read_pid_max(uint64_t &out) {
    return read_and_parse("/proc/sys/kernel/pid_max", [](std::string_view text, uint64_t &value) { value = to_ull(next_field(text)); }, out);
}

}  // namespace host
