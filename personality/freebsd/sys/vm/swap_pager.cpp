// vm.swap_info and vm.nswapdev, as FreeBSD's swap_pager.c answers them: sysctl_vm_swap_info()
// gives the record swap_dev_info() fills for the device at the index after the node's number,
// in the order the devices were enabled (/proc/swaps lists them so), one read per call.
#include "freebsd/sys/vm/swap_pager.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

int pages_of(uint64_t bytes, long page_size) {
    return static_cast<int>(std::min<uint64_t>(bytes / static_cast<uint64_t>(page_size), INT_MAX));
}

// The forms an older caller gets by the length it asks for: FreeBSD 11's, whose dev_t had 32
// bits, and a 32-bit process's, whose record has no padding and the device in two halves.
struct xswdev11 {
    u_int xsw_version;
    uint32_t xsw_dev;
    int xsw_flags, xsw_nblks, xsw_used;
};
struct xswdev32 {
    u_int xsw_version;
    u_int xsw_dev1, xsw_dev2;
    int xsw_flags, xsw_nblks, xsw_used;
};
static_assert(sizeof(xswdev11) == 20 && sizeof(xswdev32) == 24);
constexpr u_int XSWDEV_VERSION_11 = 1;

}  // namespace

// The whole device in pages, as sw_nblks counts it; flags as FreeBSD sets them for a disk
// (a partition) and for a file (none).
struct xswdev freebsd_xswdev(const host::SwapDevice &device, long page_size) {
    struct xswdev xs = {};
    xs.xsw_version = XSWDEV_VERSION;
    xs.xsw_dev = static_cast<dev_t>(device.device);
    xs.xsw_flags = device.partition ? SW_UNMAPPED : 0;
    xs.xsw_nblks = pages_of(device.size, page_size);
    xs.xsw_used = pages_of(device.used, page_size);
    return xs;
}

int vm_swap_info(SysctlArgs args, SysctlReply &reply) {
    std::vector<host::SwapDevice> devices;
    if (int err = host::read_swaps(devices))
        return err;
    if (args[0] < 0 || static_cast<size_t>(args[0]) >= devices.size())
        return ENOENT;
    struct xswdev xs = freebsd_xswdev(devices[static_cast<size_t>(args[0])], sysconf(_SC_PAGESIZE));
    if (reply.requested() == sizeof(xswdev32)) {
        xswdev32 xs32 = {XSWDEV_VERSION, static_cast<u_int>(xs.xsw_dev), static_cast<u_int>(xs.xsw_dev >> 32),
                         xs.xsw_flags, xs.xsw_nblks, xs.xsw_used};
        reply.out(&xs32, sizeof(xs32));
    } else if (reply.requested() == sizeof(xswdev11)) {
        xswdev11 xs11 = {XSWDEV_VERSION_11, static_cast<uint32_t>(xs.xsw_dev), xs.xsw_flags, xs.xsw_nblks, xs.xsw_used};
        reply.out(&xs11, sizeof(xs11));
    } else {
        reply.out(&xs, sizeof(xs));
    }
    return 0;
}
