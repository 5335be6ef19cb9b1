// The CPU nodes: hw.ncpu, kern.cp_time(s), kern.sched.topology_spec and vm.stats.sys.*.
#pragma once
#include <sys/resource.h>

#include <string>
#include <vector>

#include "linux/sysfs/cpu_topology.h"
#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_sysctl.h"

int hw_ncpu(SysctlArgs args, SysctlReply &reply);
int kern_cp_time(SysctlArgs args, SysctlReply &reply);
int kern_cp_times(SysctlArgs args, SysctlReply &reply);
int kern_sched_topology_spec(SysctlArgs args, SysctlReply &reply);
int vm_stats_sys_v_swtch(SysctlArgs args, SysctlReply &reply);
int vm_stats_sys_v_intr(SysctlArgs args, SysctlReply &reply);
int vm_stats_sys_v_soft(SysctlArgs args, SysctlReply &reply);
int vm_stats_sys_v_syscall(SysctlArgs args, SysctlReply &reply);
int vm_stats_sys_v_trap(SysctlArgs args, SysctlReply &reply);

// FreeBSD's statistics clock: 128 ticks a second.
constexpr long kStathz = 128;
// Linux's columns summed into FreeBSD's CPU states, rescaled from user_hz to kStathz.
void freebsd_cp_time(const host::CpuTicks &ticks, long user_hz, long out[CPUSTATES]);
// The scheduler's CPU groups in FreeBSD's XML, from the host's places of the CPUs.
std::string freebsd_topology_spec(const std::vector<host::CpuSharing> &places);
// A 64-bit event counter as FreeBSD answers it: 32 bits, cut, to a caller asking for 4 bytes.
void out_counter(SysctlReply &reply, uint64_t value);
