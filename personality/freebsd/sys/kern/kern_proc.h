// The kern.proc.* nodes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

int kern_proc_all(SysctlArgs args, SysctlReply &reply);
int kern_proc_proc(SysctlArgs args, SysctlReply &reply);
int kern_proc_pid(SysctlArgs args, SysctlReply &reply);
int kern_proc_pid_td(SysctlArgs args, SysctlReply &reply);
int kern_proc_args(SysctlArgs args, SysctlReply &reply);
int kern_proc_pathname(SysctlArgs args, SysctlReply &reply);
int kern_proc_rlimit(SysctlArgs args, SysctlReply &reply);
int kern_proc_rlimit_set(SysctlArgs args, const void *value, size_t len);
