// vm.vmtotal, vm.stats.vm.* and vm.stats.sys.* as FreeBSD's vm_meter.c answers them (vmtotal(),
// sysctl_handle_vmstat()), from /proc/meminfo, /proc/vmstat and /proc/stat.
#include "freebsd/sys/vm/vm_meter.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

namespace {

u_int pages_of(uint64_t bytes, long page) {
    return static_cast<u_int>(std::min<uint64_t>(bytes / static_cast<uint64_t>(page), UINT_MAX));
}

uint64_t saturating_sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// One read of the host, converted to FreeBSD's figures in pages.
template <typename Host, typename Freebsd>
int read_in_pages(int (*read)(Host &), Freebsd (*convert)(const Host &, long), Freebsd &out) {
    Host figures;
    if (int err = read(figures))
        return err;
    out = convert(figures, page_size());
    return 0;
}

}  // namespace

long page_size() { return sysconf(_SC_PAGESIZE); }

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

void out_counter(SysctlReply &reply, uint64_t value) {
    if (reply.requested() == sizeof(uint32_t)) {
        uint32_t cut = static_cast<uint32_t>(value);
        reply.out(&cut, sizeof(cut));
    } else {
        reply.out(&value, sizeof(value));
    }
}

int vm_page_counts(FreebsdPageCounts &counts) { return read_in_pages(host::read_meminfo, freebsd_page_counts, counts); }
int vm_pager_counts(FreebsdPagerCounts &counts) {
    return read_in_pages(host::read_vmstat, freebsd_pager_counts, counts);
}

// Kept by FreeBSD for compatibility, always 0: its page cache lives on the other queues.
int vm_cache_count(u_int &pages) {
    pages = 0;
    return 0;
}

// Linux does not count system calls.
int vm_syscall_count(uint64_t &count) {
    count = 0;
    return 0;
}

// FreeBSD's traps are mostly page faults; Linux counts those, not the other exceptions.
int vm_trap_count(uint64_t &count) {
    host::Vmstat vm;
    if (int err = host::read_vmstat(vm))
        return err;
    count = vm.pgfault;
    return 0;
}

int vm_vmtotal(struct vmtotal &total) {
    host::Meminfo mem;
    host::KernelStat stat;
    if (int err = host::read_meminfo(mem))
        return err;
    if (int err = host::read_kernel_stat(stat))
        return err;
    total = freebsd_vmtotal(mem, stat, page_size());
    return 0;
}
