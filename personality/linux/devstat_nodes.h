// The kern.devstat nodes.
#pragma once
#include "sysctl_tree.h"

int kern_devstat_version(SysctlArgs args, SysctlReply &reply);
int kern_devstat_numdevs(SysctlArgs args, SysctlReply &reply);
int kern_devstat_generation(SysctlArgs args, SysctlReply &reply);
int kern_devstat_all(SysctlArgs args, SysctlReply &reply);
