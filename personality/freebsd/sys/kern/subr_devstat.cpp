// The kern.devstat nodes as FreeBSD's sysctl_devstat() (subr_devstat.c) answers them, over
// /proc/diskstats: kern.devstat.all is a generation then one struct devstat per device.
#include "freebsd/sys/kern/subr_devstat.h"

#include <devstat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>



namespace {

constexpr uint64_t kSectorBytes = 512;

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
