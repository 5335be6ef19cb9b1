// prlimit(2), and /proc/PID/limits where prlimit refuses to read another user's process.
#include "linux/syscalls/rlimits.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "linux/procfs/process_dir.h"
#include "linux/text_file.h"

namespace host {
namespace {

// Each limit: the host's resource number and its line in /proc/PID/limits.
struct LimitName {
    __rlimit_resource resource;
    std::string_view label;
};
constexpr LimitName kLimits[] = {
    {RLIMIT_CPU, "Max cpu time"},          {RLIMIT_FSIZE, "Max file size"},
    {RLIMIT_DATA, "Max data size"},        {RLIMIT_STACK, "Max stack size"},
    {RLIMIT_CORE, "Max core file size"},   {RLIMIT_RSS, "Max resident set"},
    {RLIMIT_MEMLOCK, "Max locked memory"}, {RLIMIT_NPROC, "Max processes"},
    {RLIMIT_NOFILE, "Max open files"},     {RLIMIT_AS, "Max address space"},
};

const LimitName &name_of(Limit limit) { return kLimits[static_cast<int>(limit)]; }

uint64_t limit_value(std::string_view field) { return field == "unlimited" ? kUnlimited : to_ull(field); }

// /proc/PID/limits, which anyone may read, for a process whose limits prlimit refuses.
int read_limits_file(int pid, Limit limit, LimitPair &out) {
    ProcessDir proc;
    if (int err = proc.open_task(pid, 0))
        return err;
    TextFile file;
    if (int err = proc.read("limits", file))
        return err;
    return parse_limits(file.text(), limit, out) ? 0 : EINVAL;
}

}  // namespace

int linux_resource(Limit limit) { return name_of(limit).resource; }

bool parse_limits(std::string_view text, Limit limit, LimitPair &out) {
    std::string_view label = name_of(limit).label;
    while (!text.empty()) {
        std::string_view line = next_line(text);
        if (!line.starts_with(label) || line.size() <= label.size() || line[label.size()] != ' ')
            continue;
        line.remove_prefix(label.size());
        std::string_view soft = next_field(line), hard = next_field(line);
        out = {limit_value(soft), limit_value(hard)};
        return true;
    }
    return false;
}

static_assert(RLIM_INFINITY == kUnlimited, "the host's unlimited value is all ones");

int get_limit(int pid, Limit limit, LimitPair &out) {
    struct rlimit rl;
    if (prlimit(pid, name_of(limit).resource, nullptr, &rl) != 0)
        return errno == EPERM ? read_limits_file(pid, limit, out) : errno;
    out = {rl.rlim_cur, rl.rlim_max};
    return 0;
}

int set_limit(int pid, Limit limit, const LimitPair &value) {
    struct rlimit rl = {value.soft, value.hard};
    return prlimit(pid, name_of(limit).resource, &rl, nullptr) == 0 ? 0 : errno;
}

}  // namespace host
