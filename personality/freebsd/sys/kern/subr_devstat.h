// The kern.devstat nodes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

int kern_devstat_version(SysctlArgs args, SysctlReply &reply);
int kern_devstat_numdevs(SysctlArgs args, SysctlReply &reply);
int kern_devstat_generation(SysctlArgs args, SysctlReply &reply);
int kern_devstat_all(SysctlArgs args, SysctlReply &reply);
