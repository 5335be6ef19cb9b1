// /proc/diskstats parsed (Documentation/admin-guide/iostats.rst).
#include "linux/procfs/diskstats.h"

#include "linux/text_file.h"

namespace host {

std::vector<DiskStats> parse_diskstats(std::string_view text) {
    std::vector<DiskStats> disks;
    while (!text.empty()) {
        std::string_view line = next_line(text);
        std::string_view f[20];
        size_t n = 0;
        for (std::string_view field; n < std::size(f) && !(field = next_field(line)).empty();)
            f[n++] = field;
        if (n < 14)  // major, minor, name and the eleven counters every kernel gives
            continue;
        DiskStats d;
        d.major = static_cast<unsigned>(to_ull(f[0]));
        d.minor = static_cast<unsigned>(to_ull(f[1]));
        d.name = std::string(f[2]);
        // f[4] and f[8] are merges, f[13] the weighted time: not kept
        d.reads = to_ull(f[3]), d.read_sectors = to_ull(f[5]), d.read_ms = to_ull(f[6]);
        d.writes = to_ull(f[7]), d.write_sectors = to_ull(f[9]), d.write_ms = to_ull(f[10]);
        d.in_flight = to_ull(f[11]), d.busy_ms = to_ull(f[12]);
        if (n >= 18)
            d.discards = to_ull(f[14]), d.discard_sectors = to_ull(f[16]), d.discard_ms = to_ull(f[17]);
        if (n >= 20)
            d.flushes = to_ull(f[18]), d.flush_ms = to_ull(f[19]);
        disks.push_back(std::move(d));
    }
    return disks;
}

int read_diskstats(std::vector<DiskStats> &out) {
    TextFile file;
    if (int err = file.read("/proc/diskstats"))
        return err;
    out = parse_diskstats(file.text());
    return 0;
}

}  // namespace host
