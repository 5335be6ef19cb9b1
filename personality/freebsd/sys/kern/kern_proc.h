// The kern.proc.* nodes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"
#include "linux/procfs/process_state.h"

// kern.proc.all and kern.proc.proc: every process.
int kern_proc_table(SysctlArgs args, SysctlReply &reply);
int kern_proc_pid(SysctlArgs args, SysctlReply &reply);
int kern_proc_pid_td(SysctlArgs args, SysctlReply &reply);
int kern_proc_args(SysctlArgs args, SysctlReply &reply);
int kern_proc_pathname(SysctlArgs args, SysctlReply &reply);
int kern_proc_rlimit(SysctlArgs args, SysctlReply &reply);
int kern_proc_rlimit_set(SysctlArgs args, const void *value, size_t len);

// FreeBSD's process ids name processes only: a Linux thread id is refused with ESRCH. Ids of
// 0 and below name the caller, a group or every process.
int check_process_id(int id);

// pget(9)'s decision on a process in the state the host reports: 0, or ESRCH for one that is
// gone, and with kPgetNotWexit for one that has exited or is exiting too, as FreeBSD refuses an
// exiting process's files and map.
constexpr int kPgetNotWexit = 0x1;
int pget_errno(host::ProcessState state, int flags);
