// kern.cp_time and kern.cp_times, as FreeBSD's sysctl_kern_cp_time() and
// sysctl_kern_cp_times() answer them: ticks of its statistics clock per CPU state.
#pragma once
#include <sys/resource.h>

#include "linux/procfs/system_stat.h"
#include "freebsd/sys/kern/kern_sysctl.h"

// FreeBSD's statistics clock: 128 ticks a second.
constexpr long kStathz = 128;
// Linux's columns summed into FreeBSD's CPU states, rescaled from user_hz to kStathz.
void freebsd_cp_time(const host::CpuTicks &ticks, long user_hz, long out[CPUSTATES]);

int kern_cp_time(long (&states)[CPUSTATES]);
int kern_cp_times(SysctlArgs args, SysctlReply &reply);
