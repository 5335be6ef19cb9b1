// kern.sched.topology_spec, as FreeBSD's ULE scheduler describes its CPU groups, and kern.ccpu.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "linux/sysfs/cpu_topology.h"

// The scheduler's CPU groups in FreeBSD's XML, from the host's places of the CPUs.
std::string freebsd_topology_spec(const std::vector<host::CpuSharing> &places);
int kern_sched_topology_spec(std::string &text);
// kern.ccpu: the decay of a process's %CPU per second in FSCALE units, exp(-1/20).
int kern_ccpu(u_int &ccpu);
