// The host's per-device I/O counters (/proc/diskstats).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// One line of /proc/diskstats; times in milliseconds, sizes in 512-byte sectors. Kernels
// before 4.18 give no discard fields and before 5.5 no flush fields: those read 0.
struct DiskStats {
    unsigned major = 0, minor = 0;
    std::string name;
    uint64_t reads = 0, read_sectors = 0, read_ms = 0;
    uint64_t writes = 0, write_sectors = 0, write_ms = 0;
    uint64_t in_flight = 0, busy_ms = 0;
    uint64_t discards = 0, discard_sectors = 0, discard_ms = 0;
    uint64_t flushes = 0, flush_ms = 0;
};

std::vector<DiskStats> parse_diskstats(std::string_view text);
// 0, or the errno of the failed read.
int read_diskstats(std::vector<DiskStats> &out);

}  // namespace host
