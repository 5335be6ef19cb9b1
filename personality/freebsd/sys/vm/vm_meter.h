// The memory nodes: hw.physmem, vm.stats.vm.*, vfs.bufspace and vm.vmtotal.
#pragma once
#include <sys/vmmeter.h>

#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_sysctl.h"

int hw_physmem(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_page_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_free_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_active_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_inactive_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_wire_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_cache_count(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_swapin(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_swapout(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_vnodein(SysctlArgs args, SysctlReply &reply);
int vm_stats_vm_v_vnodeout(SysctlArgs args, SysctlReply &reply);
int vfs_bufspace(SysctlArgs args, SysctlReply &reply);
int vm_vmtotal(SysctlArgs args, SysctlReply &reply);

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
