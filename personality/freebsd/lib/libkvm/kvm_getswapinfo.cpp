// kvm_getswapinfo(3) on the live system: the host's swap devices (/proc/swaps), in pages.
#include <kvm.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "linux/procfs/system_stat.h"
#include "freebsd/lib/libkvm/kvm_getswapinfo.h"
#include "freebsd/sys/vm/swap_pager.h"

// A device as kvm_getswapinfo_sysctl() makes it of vm.swap_info's record (the same sizes and
// flags), named as FreeBSD names it: without "/dev/" unless asked for; a swap file keeps its
// path. Cut to the field.
struct kvm_swap freebsd_swap_device(const host::SwapDevice &device, long page_size, int flags) {
    struct kvm_swap sw = {};
    std::string_view name = device.path;
    if (!(flags & SWIF_DEV_PREFIX) && name.starts_with("/dev/"))
        name.remove_prefix(5);
    size_t n = name.copy(sw.ksw_devname, sizeof(sw.ksw_devname) - 1);
    sw.ksw_devname[n] = '\0';
    struct xswdev xs = freebsd_xswdev(device, page_size);
    sw.ksw_total = static_cast<u_int>(xs.xsw_nblks);
    sw.ksw_used = static_cast<u_int>(xs.xsw_used);
    sw.ksw_flags = xs.xsw_flags;
    return sw;
}

// As FreeBSD's library: up to swap_max - 1 devices, then the totals over every device at the
// index after them; the result is that index.
int fill_swap_info(const std::vector<struct kvm_swap> &devices, struct kvm_swap *swap_ary, int swap_max) {
    struct kvm_swap total = {};
    int n = static_cast<int>(devices.size());
    for (int i = 0; i < n; ++i) {
        if (i < swap_max - 1)
            swap_ary[i] = devices[static_cast<size_t>(i)];
        total.ksw_total += devices[static_cast<size_t>(i)].ksw_total;
        total.ksw_used += devices[static_cast<size_t>(i)].ksw_used;
    }
    int ti = std::min(n, swap_max - 1);
    if (ti >= 0)
        swap_ary[ti] = total;
    return ti;
}

int kvm_getswapinfo(kvm_t *kd, struct kvm_swap *swap_ary, int swap_max, int flags) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (kd == nullptr)  // FreeBSD's way of clearing the library's cache: nothing is cached here
            return 0;
        if (swap_max > 0 && swap_ary == nullptr) {
            errno = EINVAL;
            return -1;
        }
        std::vector<struct kvm_swap> devices;
        control::Outcome o = control::consult("kvm_getswapinfo", {}, true);
        if (o.action == control::Action::fail) {
            errno = o.err;
            return -1;
        }
        if (o.action == control::Action::answer) {  // the devices, as records
            devices.resize(o.bytes.size() / sizeof(struct kvm_swap));
            if (!devices.empty())  // an empty answer has no storage to copy from
                std::memcpy(devices.data(), o.bytes.data(), devices.size() * sizeof(struct kvm_swap));
        } else {
            std::vector<host::SwapDevice> host_devices;
            if (int err = host::read_swaps(host_devices)) {
                errno = err;
                return -1;
            }
            long page = sysconf(_SC_PAGESIZE);
            for (const host::SwapDevice &d : host_devices)
                devices.push_back(freebsd_swap_device(d, page, flags));
        }
        return fill_swap_info(devices, swap_ary, swap_max);
    });
}
