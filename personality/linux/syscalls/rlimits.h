// Resource limits of any process, through prlimit(2).
#pragma once
#include <cstdint>
#include <string_view>

namespace host {

// The limits Linux keeps that FreeBSD also has.
enum class Limit { cpu, fsize, data, stack, core, rss, memlock, nproc, nofile, as };

constexpr uint64_t kUnlimited = UINT64_MAX;

struct LimitPair {
    uint64_t soft = kUnlimited, hard = kUnlimited;
};

// 0, or the errno of prlimit (ESRCH for a process that does not exist, EPERM where refused).
// Reading another user's process, which prlimit refuses, falls back on /proc/PID/limits.
int get_limit(int pid, Limit limit, LimitPair &out);
// The host's own resource number of a limit (RLIMIT_*).
int linux_resource(Limit limit);
// The limit's line of a /proc/PID/limits text; false when it has none.
bool parse_limits(std::string_view text, Limit limit, LimitPair &out);
int set_limit(int pid, Limit limit, const LimitPair &value);

}  // namespace host
