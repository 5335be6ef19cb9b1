// vfs.bufspace: FreeBSD's sysctl_bufspace(), the bytes of its buffer cache; the host's nearest
// figure is the block devices' buffers of /proc/meminfo.
#include "freebsd/sys/kern/vfs_bio.h"

#include <algorithm>
#include <climits>

#include "linux/procfs/system_stat.h"

int vfs_bufspace(long &bytes) {
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    bytes = static_cast<long>(std::min<uint64_t>(mem.buffers, LONG_MAX));
    return 0;
}
