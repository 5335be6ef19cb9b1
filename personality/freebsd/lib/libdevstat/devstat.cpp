// FreeBSD's device-statistics library (lib/libdevstat/devstat.c): devstat_checkversion() and
// devstat_getdevs() read the kern.devstat nodes, as FreeBSD's does with no kernel-memory handle.
#include <devstat.h>
#include <sys/sysctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "freebsd/c_interface.h"

char devstat_errbuf[DEVSTAT_ERRBUF_SIZE];

namespace {

constexpr int kFetchAttempts = 10;
constexpr size_t kFirstGuessDevices = 64;

int set_error(const char *fmt, const char *what, int err) {
    std::snprintf(devstat_errbuf, sizeof(devstat_errbuf), fmt, what, std::strerror(err));
    errno = err;
    return -1;
}

}  // namespace

int devstat_checkversion(kvm_t *) {
    return without_exceptions<int>(-1, [&]() -> int {
        int version = 0;
        size_t len = sizeof(version);
        if (sysctlbyname("kern.devstat.version", &version, &len, nullptr, 0) == -1)
            return set_error("%s: %s", "error reading kern.devstat.version", errno);
        if (version != DEVSTAT_USER_API_VER) {
            std::snprintf(devstat_errbuf, sizeof(devstat_errbuf),
                          "userland devstat version %d is not the same as the kernel devstat version %d",
                          DEVSTAT_USER_API_VER, version);
            return -1;
        }
        return 0;
    });
}

// Live-system handles read the nodes too: the kernel-memory library here has no other memory.
int devstat_getdevs(kvm_t *, struct statinfo *stats) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (stats == nullptr || stats->dinfo == nullptr)
            return set_error("%s: %s", "devstat_getdevs", EINVAL);
        struct devinfo *dinfo = stats->dinfo;
        long old_generation = dinfo->generation;
        // A first fetch into room for most machines' devices spares the size probe, which
        // costs a whole read of the host's table; a longer list is probed and fetched again.
        size_t room = sizeof(long) + kFirstGuessDevices * sizeof(struct devstat), size = room;
        for (int attempt = 0;; ++attempt) {
            if (attempt == kFetchAttempts)
                return set_error("%s: %s", "kern.devstat.all kept growing", EAGAIN);
            auto *grown = static_cast<u_int8_t *>(std::realloc(dinfo->mem_ptr, room));
            if (grown == nullptr)
                return set_error("%s: %s", "devstat_getdevs", ENOMEM);
            dinfo->mem_ptr = grown;
            size = room;
            if (sysctlbyname("kern.devstat.all", dinfo->mem_ptr, &size, nullptr, 0) == 0)
                break;
            if (errno != ENOMEM)
                return set_error("%s: %s", "error reading kern.devstat.all", errno);
            if (sysctlbyname("kern.devstat.all", nullptr, &room, nullptr, 0) == -1)
                return set_error("%s: %s", "error reading kern.devstat.all", errno);
            room = std::max(room, sizeof(long));
        }
        if (size < sizeof(long))
            return set_error("%s: %s", "kern.devstat.all", EINVAL);
        std::memcpy(&dinfo->generation, dinfo->mem_ptr, sizeof(long));
        dinfo->devices = reinterpret_cast<struct devstat *>(dinfo->mem_ptr + sizeof(long));
        dinfo->numdevs = static_cast<int>((size - sizeof(long)) / sizeof(struct devstat));
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        stats->snap_time = static_cast<long double>(now.tv_sec) + static_cast<long double>(now.tv_nsec) * 1e-9L;
        return dinfo->generation != old_generation ? 1 : 0;
    });
}
