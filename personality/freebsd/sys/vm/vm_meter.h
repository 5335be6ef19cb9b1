// The memory nodes: vm.stats.vm.*, vm.stats.sys.* and vm.vmtotal.
#pragma once
#include <sys/vmmeter.h>

#include <cstdint>

#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_sysctl.h"

long page_size();

// FreeBSD's page queues from Linux's figures, in pages.
struct FreebsdPageCounts {
    u_int page, free, active, inactive, wire;
};
FreebsdPageCounts freebsd_page_counts(const host::Meminfo &mem, long page_size);
// The pager's traffic in FreeBSD's terms, in pages: the swap pager's, and the vnode pager's
// (what Linux paged from and to block devices, less the swap traffic).
struct FreebsdPagerCounts {
    uint64_t swapin, swapout, vnodein, vnodeout;
};
FreebsdPagerCounts freebsd_pager_counts(const host::Vmstat &vm, long page_size);
struct vmtotal freebsd_vmtotal(const host::Meminfo &mem, const host::KernelStat &stat, long page_size);

// The records that vm.stats.vm.* nodes take one field of (sysctl_field): FreeBSD's page queues
// and its pager's traffic since boot, from one read of the host.
int vm_page_counts(FreebsdPageCounts &counts);
int vm_pager_counts(FreebsdPagerCounts &counts);
int vm_cache_count(u_int &pages);

int vm_syscall_count(uint64_t &count);
int vm_trap_count(uint64_t &count);

int vm_vmtotal(struct vmtotal &total);

// A 64-bit event counter as FreeBSD's sysctl_handle_vmstat() answers it: 32 bits, cut, to a
// caller asking for 4 bytes.
void out_counter(SysctlReply &reply, uint64_t value);
// The handler of a counter node over its reader.
template <int (*Reader)(uint64_t &)>
int vm_stats_counter(SysctlArgs, SysctlReply &reply) {
    uint64_t value = 0;
    if (int err = Reader(value))
        return err;
    out_counter(reply, value);
    return 0;
}
