#include "rlimits.h"

#include <sys/resource.h>

#include <cerrno>

namespace host {

static __rlimit_resource resource_of(Limit limit) {
    static constexpr __rlimit_resource resources[] = {
        RLIMIT_CPU, RLIMIT_FSIZE,   RLIMIT_DATA,  RLIMIT_STACK,  RLIMIT_CORE,
        RLIMIT_RSS, RLIMIT_MEMLOCK, RLIMIT_NPROC, RLIMIT_NOFILE, RLIMIT_AS,
    };
    return resources[static_cast<int>(limit)];
}

static_assert(RLIM_INFINITY == kUnlimited, "the host's unlimited value is all ones");

int get_limit(int pid, Limit limit, LimitPair &out) {
    struct rlimit rl;
    if (prlimit(pid, resource_of(limit), nullptr, &rl) != 0)
        return errno;
    out = {rl.rlim_cur, rl.rlim_max};
    return 0;
}

int set_limit(int pid, Limit limit, const LimitPair &value) {
    struct rlimit rl = {value.soft, value.hard};
    return prlimit(pid, resource_of(limit), &rl, nullptr) == 0 ? 0 : errno;
}

}  // namespace host
