// The kern.devstat nodes over /proc/diskstats, and the device-statistics library over them as
// FreeBSD's reads them: the list is the node kern.devstat.all, a generation then the records.
#include <devstat.h>
#include <sys/sysctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "freebsd/c_interface.h"
#include "freebsd/sys/kern/devstat_records.h"
#include "freebsd/sys/kern/subr_devstat.h"

char devstat_errbuf[DEVSTAT_ERRBUF_SIZE];

namespace {

constexpr uint64_t kSectorBytes = 512;
constexpr int kFetchAttempts = 10;
constexpr size_t kFirstGuessDevices = 64;

// Linux disk drivers that number their disks by letters after the driver's name.
constexpr std::string_view letter_numbered_disks[] = {"sd", "vd", "hd", "xvd"};

bool all_lowercase(std::string_view s) {
    return !s.empty() && std::ranges::all_of(s, [](char c) { return c >= 'a' && c <= 'z'; });
}

// "a".."z", "aa".."zz", ...: 0, 1, ... as Linux counts them.
int letters_unit(std::string_view letters) {
    long unit = 0;
    for (char c : letters)
        unit = std::min(unit * 26 + (c - 'a' + 1), 1L << 30);
    return static_cast<int>(unit - 1);
}

void set_name(char (&field)[DEVSTAT_NAME_LEN], std::string_view name) {
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, name.data(), std::min(name.size(), sizeof(field) - 1));
}

// The device list's generation: FreeBSD counts changes of the list, here a digest of it.
long generation_of(const std::vector<host::DiskStats> &disks) {
    uint64_t h = 1469598103934665603ULL;
    for (const host::DiskStats &d : disks)
        for (uint64_t v : {uint64_t{d.major}, uint64_t{d.minor}})
            h = (h ^ v) * 1099511628211ULL;
    return static_cast<long>((h >> 1) | 1);
}

int set_error(const char *fmt, const char *what, int err) {
    std::snprintf(devstat_errbuf, sizeof(devstat_errbuf), fmt, what, std::strerror(err));
    errno = err;
    return -1;
}

}  // namespace

struct bintime bintime_from_ms(uint64_t ms) {
    struct bintime bt;
    bt.sec = static_cast<time_t>(ms / 1000);
    // The upper 32 bits rounded up: reading them back truncates to the same millisecond.
    uint64_t upper = ((ms % 1000) * (uint64_t{1} << 32) + 999) / 1000;
    bt.frac = upper << 32;
    return bt;
}

void split_device_name(std::string_view linux_name, char (&name)[DEVSTAT_NAME_LEN], int &unit) {
    size_t digits = linux_name.find_last_not_of("0123456789") + 1;
    if (digits < linux_name.size() && digits > 0 && linux_name.size() - digits <= 9) {
        set_name(name, linux_name.substr(0, digits));
        unit = std::atoi(std::string(linux_name.substr(digits)).c_str());
        return;
    }
    for (std::string_view driver : letter_numbered_disks)
        if (linux_name.starts_with(driver) && all_lowercase(linux_name.substr(driver.size()))) {
            set_name(name, driver);
            unit = letters_unit(linux_name.substr(driver.size()));
            return;
        }
    set_name(name, linux_name);
    unit = 0;
}

void fill_devstat(const host::DiskStats &d, struct devstat &out) {
    std::memset(&out, 0, sizeof(out));
    out.allocated = 1;
    uint64_t done = d.reads + d.writes + d.discards + d.flushes;
    out.end_count = static_cast<u_int>(done);
    out.start_count = static_cast<u_int>(done + d.in_flight);
    out.device_number = (d.major << 20) | (d.minor & 0xfffff);
    split_device_name(d.name, out.device_name, out.unit_number);
    const struct {
        devstat_trans_flags kind;
        uint64_t operations, sectors, ms;
    } transfers[] = {
        {DEVSTAT_NO_DATA, d.flushes, 0, d.flush_ms},
        {DEVSTAT_READ, d.reads, d.read_sectors, d.read_ms},
        {DEVSTAT_WRITE, d.writes, d.write_sectors, d.write_ms},
        {DEVSTAT_FREE, d.discards, d.discard_sectors, d.discard_ms},
    };
    for (const auto &t : transfers) {
        out.operations[t.kind] = t.operations;
        out.bytes[t.kind] = t.sectors * kSectorBytes;
        out.duration[t.kind] = bintime_from_ms(t.ms);
    }
    out.busy_time = bintime_from_ms(d.busy_ms);
    out.block_size = kSectorBytes;
    out.flags = DEVSTAT_ALL_SUPPORTED;
    out.device_type = DEVSTAT_TYPE_DIRECT;
    out.priority = DEVSTAT_PRIORITY_DISK;
}

int kern_devstat_version(int &version) {
    version = DEVSTAT_VERSION;
    return 0;
}

int kern_devstat_numdevs(int &count) {
    std::vector<host::DiskStats> disks;
    if (int err = host::read_diskstats(disks))
        return err;
    count = static_cast<int>(disks.size());
    return 0;
}

int kern_devstat_generation(long &generation) {
    std::vector<host::DiskStats> disks;
    if (int err = host::read_diskstats(disks))
        return err;
    generation = generation_of(disks);
    return 0;
}

int kern_devstat_all(SysctlArgs, SysctlReply &reply) {
    std::vector<host::DiskStats> disks;
    if (int err = host::read_diskstats(disks))
        return err;
    long generation = generation_of(disks);
    reply.out(&generation, sizeof(generation));
    for (const host::DiskStats &d : disks) {
        struct devstat record;
        fill_devstat(d, record);
        reply.out(&record, sizeof(record));
    }
    return 0;
}

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
