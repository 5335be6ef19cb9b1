// Every sysctl node the personality answers, in one table: what FreeBSD declares with its
// SYSCTL_* macros across the kernel and gathers in the linker set sysctl_set. A row names the
// node, gives its number, the arguments a call may add, its kind and format, and its handler: a
// typed value reader bound by sysctl_value, or a reader of its own where the value is a list or
// takes arguments. The parents ("kern", "dev.cpu.N") follow from the names (sysctl_tree()).
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/sysctl.h>
#include <vm/vm_param.h>

#include "freebsd/sys/dev/acpica/acpi_battery.h"
#include "freebsd/sys/dev/coretemp/coretemp.h"
#include "freebsd/sys/kern/kern_clock.h"
#include "freebsd/sys/kern/kern_cpu.h"
#include "freebsd/sys/kern/kern_descrip.h"
#include "freebsd/sys/kern/kern_mib.h"
#include "freebsd/sys/kern/kern_proc.h"
#include "freebsd/sys/kern/kern_synch.h"
#include "freebsd/sys/kern/kern_sysctl.h"
#include "freebsd/sys/kern/kern_tc.h"
#include "freebsd/sys/kern/sched_ule.h"
#include "freebsd/sys/kern/subr_devstat.h"
#include "freebsd/sys/kern/uipc_usrreq.h"
#include "freebsd/sys/kern/vfs_bio.h"
#include "freebsd/sys/net/rtsock.h"
#include "freebsd/sys/netinet/tcp_subr.h"
#include "freebsd/sys/netinet/udp_usrreq.h"
#include "freebsd/sys/vm/swap_pager.h"
#include "freebsd/sys/vm/vm_meter.h"

namespace {

using Pages = FreebsdPageCounts;
using Pager = FreebsdPagerCounts;
using Events = host::KernelStat;
using host::read_kernel_stat;

// The parents FreeBSD numbers at boot.
constexpr int kDevstat = oid_auto(16), kSched = oid_auto(2), kAcpi = oid_auto(16), kBattery = oid_auto(1);
constexpr int kVmStats = oid_auto(0), kSys = oid_auto(0), kVm = oid_auto(1), kDev = oid_auto(0), kCpu = oid_auto(0);

// Handlers bound to typed readers: the value's bytes, a vm.stats counter, one field of one read.
template <auto Read>
constexpr SysctlRead value = sysctl_value<Read>;
template <auto Read>
constexpr SysctlRead counter = vm_stats_counter<Read>;
template <auto Read, auto Field>
constexpr auto field = sysctl_field<Read, Field>;

// Kinds and formats as FreeBSD declares its nodes (SYSCTL_INT and the like add CTLFLAG_MPSAFE).
constexpr unsigned kRd = CTLFLAG_RD | CTLFLAG_MPSAFE;
constexpr SysctlType kInt{CTLTYPE_INT | kRd, "I"}, kCapInt{CTLTYPE_INT | kRd | CTLFLAG_CAPRD, "I"};
constexpr SysctlType kUint{CTLTYPE_UINT | kRd, "IU"}, kU32{CTLTYPE_U32 | kRd, "IU"}, kU64{CTLTYPE_U64 | kRd, "QU"};
constexpr SysctlType kLong{CTLTYPE_LONG | kRd, "L"}, kTicks{CTLTYPE_LONG | kRd, "LU"}, kUlong{CTLTYPE_ULONG | kRd, "LU"};
constexpr SysctlType kText{CTLTYPE_STRING | kRd, "A"}, kKelvin{CTLTYPE_INT | kRd, "IK"};
constexpr SysctlType kHandlerNode{CTLTYPE_NODE | kRd, "N"}, kListNode{CTLTYPE_NODE | kRd | CTLFLAG_CAPRD, "N"};
constexpr SysctlType kWritableNode{CTLTYPE_NODE | CTLFLAG_RW | CTLFLAG_ANYBODY | CTLFLAG_MPSAFE, "N"};
constexpr SysctlType record(const char *fmt) { return {CTLTYPE_OPAQUE | kRd, fmt}; }

// A unit in a name is SYSCTL_UNIT in the number.
constexpr SysctlNode kNodes[] = {
    // The tree's own nodes.
    {"sysctl.name", {CTL_SYSCTL, CTL_SYSCTL_NAME}, kAnyArguments, kListNode, sysctl_sysctl_name},
    {"sysctl.next", {CTL_SYSCTL, CTL_SYSCTL_NEXT}, kAnyArguments, kListNode, sysctl_sysctl_next},
    {"sysctl.name2oid", {CTL_SYSCTL, CTL_SYSCTL_NAME2OID}, kLeaf,
     {CTLTYPE_INT | CTLFLAG_RW | CTLFLAG_ANYBODY | CTLFLAG_MPSAFE | CTLFLAG_CAPRW, "I"}, sysctl_sysctl_name2oid},
    {"sysctl.oidfmt", {CTL_SYSCTL, CTL_SYSCTL_OIDFMT}, kAnyArguments, kListNode, sysctl_sysctl_oidfmt},
    {"sysctl.nextnoskip", {CTL_SYSCTL, CTL_SYSCTL_NEXTNOSKIP}, kAnyArguments, kListNode, sysctl_sysctl_next},
    // Processes.
    {"kern.argmax", {CTL_KERN, KERN_ARGMAX}, kLeaf, kCapInt, value<kern_argmax>},
    {"kern.pid_max", {CTL_KERN, oid_auto(32)}, kLeaf, {CTLTYPE_INT | CTLFLAG_RWTUN | CTLFLAG_NOFETCH | CTLFLAG_MPSAFE, "I"},
     value<kern_pid_max>, sysctl_write_refused},
    {"kern.fscale", {CTL_KERN, oid_auto(33)}, kLeaf, kInt, value<kern_fscale>},
    {"kern.ccpu", {CTL_KERN, oid_auto(34)}, kLeaf, kUint, value<kern_ccpu>},
    {"kern.proc.all", {CTL_KERN, KERN_PROC, KERN_PROC_ALL}, kLeaf, record("S,proc"), kern_proc_table},
    {"kern.proc.pid", {CTL_KERN, KERN_PROC, KERN_PROC_PID}, kPid, kHandlerNode, kern_proc_pid},
    {"kern.proc.proc", {CTL_KERN, KERN_PROC, KERN_PROC_PROC}, kOptionalArgument, kHandlerNode, kern_proc_table},
    {"kern.proc.pid_td", {CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD}, kPid, kHandlerNode, kern_proc_pid_td},
    {"kern.proc.args", {CTL_KERN, KERN_PROC, KERN_PROC_ARGS}, kPid, {kWritableNode.kind | CTLFLAG_CAPWR, "N"}, kern_proc_args,
     sysctl_write_refused},
    {"kern.proc.pathname", {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME}, kPid, kHandlerNode, kern_proc_pathname},
    {"kern.proc.rlimit", {CTL_KERN, KERN_PROC, KERN_PROC_RLIMIT}, kPidResource, kWritableNode, kern_proc_rlimit,
     kern_proc_rlimit_set},
    // Disks, batteries, boot.
    {"kern.boottime", {CTL_KERN, KERN_BOOTTIME}, kLeaf, {CTLTYPE_STRUCT | kRd | CTLFLAG_CAPRD, "S,timeval"}, value<kern_boottime>},
    {"kern.devstat.numdevs", {CTL_KERN, kDevstat, oid_auto(0)}, kLeaf, kInt, value<sysctl_count<host::read_diskstats>>},
    {"kern.devstat.generation", {CTL_KERN, kDevstat, oid_auto(1)}, kLeaf, kLong, value<kern_devstat_generation>},
    {"kern.devstat.version", {CTL_KERN, kDevstat, oid_auto(2)}, kLeaf, kInt, value<kern_devstat_version>},
    {"kern.devstat.all", {CTL_KERN, kDevstat, oid_auto(3)}, kLeaf, record("S,devstat"), kern_devstat_all},
    {"hw.acpi.acline", {CTL_HW, kAcpi, oid_auto(0)}, kLeaf, kInt, value<hw_acpi_acline>},
    {"hw.acpi.battery.life", {CTL_HW, kAcpi, kBattery, oid_auto(0)}, kLeaf, kInt, value<hw_acpi_battery_life>},
    {"hw.acpi.battery.time", {CTL_HW, kAcpi, kBattery, oid_auto(1)}, kLeaf, kInt, value<hw_acpi_battery_time>},
    // CPUs and memory.
    {"hw.ncpu", {CTL_HW, HW_NCPU}, kLeaf, kCapInt, value<hw_ncpu>},
    {"hw.physmem", {CTL_HW, HW_PHYSMEM}, kLeaf, kUlong, value<hw_physmem>},
    {"hw.availpages", {CTL_HW, oid_auto(32)}, kLeaf, kLong, value<hw_availpages>},
    {"kern.cp_time", {CTL_KERN, oid_auto(0)}, kLeaf, kTicks, value<kern_cp_time>},
    {"kern.cp_times", {CTL_KERN, oid_auto(1)}, kLeaf, kTicks, kern_cp_times},
    {"kern.sched.topology_spec", {CTL_KERN, kSched, oid_auto(0)}, kLeaf, kText, value<kern_sched_topology_spec>},
    {"vm.vmtotal", {CTL_VM, VM_TOTAL}, kLeaf, record("S,vmtotal"), value<vm_vmtotal>},
    {"vm.nswapdev", {CTL_VM, oid_auto(32)}, kLeaf, kInt, value<sysctl_count<host::read_swaps>>},
    {"vm.swap_info", {CTL_VM, oid_auto(33)}, kOneArgument, kHandlerNode, vm_swap_info},
    {"vm.stats.sys.v_swtch", {CTL_VM, kVmStats, kSys, oid_auto(0)}, kLeaf, kU64, counter<field<read_kernel_stat, &Events::ctxt>>},
    {"vm.stats.sys.v_intr", {CTL_VM, kVmStats, kSys, oid_auto(1)}, kLeaf, kU64, counter<field<read_kernel_stat, &Events::intr>>},
    {"vm.stats.sys.v_soft", {CTL_VM, kVmStats, kSys, oid_auto(2)}, kLeaf, kU64, counter<field<read_kernel_stat, &Events::softirq>>},
    {"vm.stats.sys.v_syscall", {CTL_VM, kVmStats, kSys, oid_auto(3)}, kLeaf, kU64, counter<vm_syscall_count>},
    {"vm.stats.sys.v_trap", {CTL_VM, kVmStats, kSys, oid_auto(4)}, kLeaf, kU64, counter<vm_trap_count>},
    {"vm.stats.vm.v_page_count", {CTL_VM, kVmStats, kVm, oid_auto(0)}, kLeaf, kUint, value<field<vm_page_counts, &Pages::page>>},
    {"vm.stats.vm.v_free_count", {CTL_VM, kVmStats, kVm, oid_auto(1)}, kLeaf, kU32, value<field<vm_page_counts, &Pages::free>>},
    {"vm.stats.vm.v_active_count", {CTL_VM, kVmStats, kVm, oid_auto(2)}, kLeaf, kU32, value<field<vm_page_counts, &Pages::active>>},
    {"vm.stats.vm.v_inactive_count", {CTL_VM, kVmStats, kVm, oid_auto(3)}, kLeaf, kU32, value<field<vm_page_counts, &Pages::inactive>>},
    {"vm.stats.vm.v_wire_count", {CTL_VM, kVmStats, kVm, oid_auto(4)}, kLeaf, kU32, value<field<vm_page_counts, &Pages::wire>>},
    {"vm.stats.vm.v_cache_count", {CTL_VM, kVmStats, kVm, oid_auto(5)}, kLeaf, kUint, value<vm_cache_count>},
    {"vm.stats.vm.v_swapin", {CTL_VM, kVmStats, kVm, oid_auto(6)}, kLeaf, kU64, counter<field<vm_pager_counts, &Pager::swapin>>},
    {"vm.stats.vm.v_swapout", {CTL_VM, kVmStats, kVm, oid_auto(7)}, kLeaf, kU64, counter<field<vm_pager_counts, &Pager::swapout>>},
    {"vm.stats.vm.v_vnodein", {CTL_VM, kVmStats, kVm, oid_auto(8)}, kLeaf, kU64, counter<field<vm_pager_counts, &Pager::vnodein>>},
    {"vm.stats.vm.v_vnodeout", {CTL_VM, kVmStats, kVm, oid_auto(9)}, kLeaf, kU64, counter<field<vm_pager_counts, &Pager::vnodeout>>},
    {"vfs.bufspace", {CTL_VFS, oid_auto(0)}, kLeaf, kLong, value<vfs_bufspace>},
    // dev.cpu.N.*: the unit is the CPU.
    {"dev.cpu.N.freq", {kDev, kCpu, SYSCTL_UNIT, oid_auto(0)}, kUnitLeaf, kInt, value<dev_cpu_freq>},
    {"dev.cpu.N.freq_levels", {kDev, kCpu, SYSCTL_UNIT, oid_auto(1)}, kUnitLeaf, kText, value<dev_cpu_freq_levels>},
    {"dev.cpu.N.temperature", {kDev, kCpu, SYSCTL_UNIT, oid_auto(16)}, kUnitLeaf, kKelvin, value<dev_cpu_temperature>},
    {"dev.cpu.N.coretemp.tjmax", {kDev, kCpu, SYSCTL_UNIT, oid_auto(17), oid_auto(0)}, kUnitLeaf, kKelvin, value<dev_cpu_coretemp_tjmax>},
    // Interfaces, descriptors and sockets.
    {"net.routetable", {CTL_NET, PF_ROUTE}, kRouteRequest, kHandlerNode, net_route},
    {"kern.file", {CTL_KERN, KERN_FILE}, kLeaf, record("S,xfile"), kern_file},
    {"net.inet.tcp.pcblist", {CTL_NET, PF_INET, IPPROTO_TCP, kTcpctlPcblist}, kLeaf, record("S,xtcpcb"), net_inet_tcp_pcblist},
    {"net.inet.udp.pcblist", {CTL_NET, PF_INET, IPPROTO_UDP, kUdpctlPcblist}, kLeaf, record("S,xinpcb"), net_inet_udp_pcblist},
    {"net.local.stream.pcblist", {CTL_NET, PF_LOCAL, SOCK_STREAM, oid_auto(0)}, kLeaf, record("S,xunpcb"), net_local_stream_pcblist},
    {"net.local.dgram.pcblist", {CTL_NET, PF_LOCAL, SOCK_DGRAM, oid_auto(0)}, kLeaf, record("S,xunpcb"), net_local_dgram_pcblist},
    {"net.local.seqpacket.pcblist", {CTL_NET, PF_LOCAL, SOCK_SEQPACKET, oid_auto(0)}, kLeaf, record("S,xunpcb"), net_local_seqpacket_pcblist},
};

}  // namespace

std::span<const SysctlNode> sysctl_nodes() { return kNodes; }
