// kern.sched.topology_spec, as FreeBSD's ULE scheduler describes its CPU groups.
#pragma once
#include <string>
#include <vector>

#include "linux/sysfs/cpu_topology.h"

// The scheduler's CPU groups in FreeBSD's XML, from the host's places of the CPUs.
std::string freebsd_topology_spec(const std::vector<host::CpuSharing> &places);
int kern_sched_topology_spec(std::string &text);
