#include "freebsd/sys/vm/vm_meter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "freebsd/sys/kern/kern_clock.h"

namespace {

int no_arguments(SysctlArgs args) { return args.empty() ? 0 : ENOTDIR; }

long page_size() { return sysconf(_SC_PAGESIZE); }

u_int pages_of(uint64_t bytes, long page) {
    return static_cast<u_int>(std::min<uint64_t>(bytes / static_cast<uint64_t>(page), UINT_MAX));
}

uint64_t saturating_sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

template <u_int FreebsdPageCounts::*Field>
int page_count(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    u_int value = freebsd_page_counts(mem, page_size()).*Field;
    reply.out(&value, sizeof(value));
    return 0;
}

template <uint64_t FreebsdPagerCounts::*Field>
int pager_counter(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    host::Vmstat vm;
    if (int err = host::read_vmstat(vm))
        return err;
    out_counter(reply, freebsd_pager_counts(vm, page_size()).*Field);
    return 0;
}

}  // namespace

// Linux's page-cache and anonymous pages sit on its active and inactive lists, as FreeBSD's do
// on its queues. What is neither free nor on those lists (the kernel's own memory, slabs, page
// tables, unevictable pages) is wired, so the queues add up to the total.
FreebsdPageCounts freebsd_page_counts(const host::Meminfo &mem, long page) {
    uint64_t wired = saturating_sub(mem.total, mem.free + mem.active + mem.inactive);
    return {pages_of(mem.total, page), pages_of(mem.free, page), pages_of(mem.active, page),
            pages_of(mem.inactive, page), pages_of(wired, page)};
}

FreebsdPagerCounts freebsd_pager_counts(const host::Vmstat &vm, long page) {
    uint64_t kb_per_page = static_cast<uint64_t>(page) / 1024;
    uint64_t pagedin = vm.pgpgin / kb_per_page, pagedout = vm.pgpgout / kb_per_page;
    return {vm.pswpin, vm.pswpout, saturating_sub(pagedin, vm.pswpin), saturating_sub(pagedout, vm.pswpout)};
}

// Shared memory is Linux's shmem (tmpfs and shared anonymous pages), counted as both virtual
// and real. The thread counts are the host's running and blocked tasks.
struct vmtotal freebsd_vmtotal(const host::Meminfo &mem, const host::KernelStat &stat, long page) {
    struct vmtotal t = {};
    uint64_t ps = static_cast<uint64_t>(page);
    t.t_vm = t.t_avm = mem.committed / ps;
    t.t_rm = saturating_sub(mem.total, mem.free) / ps;
    t.t_arm = mem.active / ps;
    t.t_vmshr = t.t_avmshr = t.t_rmshr = t.t_armshr = mem.shmem / ps;
    t.t_free = mem.free / ps;
    t.t_rq = static_cast<int16_t>(std::min<uint64_t>(stat.procs_running, INT16_MAX));
    t.t_dw = static_cast<int16_t>(std::min<uint64_t>(stat.procs_blocked, INT16_MAX));
    return t;
}

int hw_physmem(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    unsigned long bytes = mem.total;
    reply.out(&bytes, sizeof(bytes));
    return 0;
}

int vm_stats_vm_v_page_count(SysctlArgs a, SysctlReply &r) { return page_count<&FreebsdPageCounts::page>(a, r); }
int vm_stats_vm_v_free_count(SysctlArgs a, SysctlReply &r) { return page_count<&FreebsdPageCounts::free>(a, r); }
int vm_stats_vm_v_active_count(SysctlArgs a, SysctlReply &r) { return page_count<&FreebsdPageCounts::active>(a, r); }
int vm_stats_vm_v_inactive_count(SysctlArgs a, SysctlReply &r) {
    return page_count<&FreebsdPageCounts::inactive>(a, r);
}
int vm_stats_vm_v_wire_count(SysctlArgs a, SysctlReply &r) { return page_count<&FreebsdPageCounts::wire>(a, r); }

// Kept by FreeBSD for compatibility, always 0: its page cache lives on the other queues.
int vm_stats_vm_v_cache_count(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    u_int zero = 0;
    reply.out(&zero, sizeof(zero));
    return 0;
}

int vm_stats_vm_v_swapin(SysctlArgs a, SysctlReply &r) { return pager_counter<&FreebsdPagerCounts::swapin>(a, r); }
int vm_stats_vm_v_swapout(SysctlArgs a, SysctlReply &r) { return pager_counter<&FreebsdPagerCounts::swapout>(a, r); }
int vm_stats_vm_v_vnodein(SysctlArgs a, SysctlReply &r) { return pager_counter<&FreebsdPagerCounts::vnodein>(a, r); }
int vm_stats_vm_v_vnodeout(SysctlArgs a, SysctlReply &r) {
    return pager_counter<&FreebsdPagerCounts::vnodeout>(a, r);
}

int vfs_bufspace(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    host::Meminfo mem;
    if (int err = host::read_meminfo(mem))
        return err;
    long bytes = static_cast<long>(std::min<uint64_t>(mem.buffers, LONG_MAX));
    reply.out(&bytes, sizeof(bytes));
    return 0;
}

int vm_vmtotal(SysctlArgs args, SysctlReply &reply) {
    if (int err = no_arguments(args))
        return err;
    host::Meminfo mem;
    host::KernelStat stat;
    if (int err = host::read_meminfo(mem))
        return err;
    if (int err = host::read_kernel_stat(stat))
        return err;
    struct vmtotal total = freebsd_vmtotal(mem, stat, page_size());
    reply.out(&total, sizeof(total));
    return 0;
}
