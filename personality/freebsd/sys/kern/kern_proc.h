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
