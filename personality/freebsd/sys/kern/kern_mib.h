// The kern.* nodes that are not about processes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

int kern_argmax(SysctlArgs args, SysctlReply &reply);
int kern_boottime(SysctlArgs args, SysctlReply &reply);
