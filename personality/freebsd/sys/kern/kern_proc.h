// The kern.proc.* nodes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

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
