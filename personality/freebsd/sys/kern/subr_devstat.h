// The kern.devstat nodes.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

int kern_devstat_version(int &version);
int kern_devstat_numdevs(int &count);
int kern_devstat_generation(long &generation);
int kern_devstat_all(SysctlArgs args, SysctlReply &reply);
