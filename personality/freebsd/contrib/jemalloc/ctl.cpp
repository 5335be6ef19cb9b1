// mallctl(3) over the process's own allocator. FreeBSD's allocator refreshes its statistics
// when the epoch is written; the host's reports live figures, so the epoch only counts.
#include <malloc_np.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "linux/libc/allocator.h"

namespace {

std::atomic<uint64_t> epoch{1};

struct Request {
    void *oldp;
    size_t *oldlenp;
    void *newp;
    size_t newlen;
};

// As the allocator's READ: a value into a buffer of exactly its size, else EINVAL (with what fits).
template <class T>
int read_value(const Request &r, T value) {
    if (r.oldp == nullptr || r.oldlenp == nullptr)
        return 0;
    if (*r.oldlenp != sizeof(T)) {
        std::memcpy(r.oldp, &value, std::min(*r.oldlenp, sizeof(T)));
        *r.oldlenp = std::min(*r.oldlenp, sizeof(T));
        return EINVAL;
    }
    std::memcpy(r.oldp, &value, sizeof(T));
    return 0;
}

int read_only(const Request &r) { return r.newp != nullptr || r.newlen != 0 ? EPERM : 0; }
int neither_read_nor_write(const Request &r) {
    return r.oldp != nullptr || r.oldlenp != nullptr || r.newp != nullptr || r.newlen != 0 ? EPERM : 0;
}

// The host keeps no per-thread cache that its figures would miss.
int thread_tcache_flush(const Request &r) { return neither_read_nor_write(r); }

int epoch_ctl(const Request &r) {
    if (r.newp != nullptr) {
        if (r.newlen != sizeof(uint64_t))
            return EINVAL;
        epoch.fetch_add(1, std::memory_order_relaxed);
    }
    return read_value(r, epoch.load(std::memory_order_relaxed));
}

int stats_allocated(const Request &r) {
    if (int err = read_only(r))
        return err;
    return read_value<size_t>(r, host::allocator_stats().in_use);
}

int stats_mapped(const Request &r) {
    if (int err = read_only(r))
        return err;
    return read_value<size_t>(r, host::allocator_stats().mapped);
}

// The host trims every arena at once: the all-arenas index only.
int arenas_all_purge(const Request &r) {
    if (int err = neither_read_nor_write(r))
        return err;
    host::allocator_trim();
    return 0;
}

constexpr struct {
    const char *name;
    int (*ctl)(const Request &);
} kNames[] = {
    {"thread.tcache.flush", thread_tcache_flush},
    {"epoch", epoch_ctl},
    {"stats.allocated", stats_allocated},
    {"stats.mapped", stats_mapped},
    {"arena.4096.purge", arenas_all_purge},  // MALLCTL_ARENAS_ALL
};

}  // namespace

int mallctl(const char *name, void *oldp, size_t *oldlenp, void *newp, size_t newlen) {
    return without_exceptions<int>(ENOMEM, [&]() -> int {
        if (name == nullptr)
            return ENOENT;
        for (const auto &entry : kNames) {
            if (std::strcmp(entry.name, name) != 0)
                continue;
            if (control::active()) {  // the key is built only when a test set an override
                control::Outcome o = control::consult(std::string("mallctl.") + name, {}, true);
                if (o.action == control::Action::fail)
                    return o.err;
            }
            return entry.ctl({oldp, oldlenp, newp, newlen});
        }
        return ENOENT;
    });
}
