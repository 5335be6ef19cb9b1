// The routing socket's sysctl node: the interface list.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

// net.route {CTL_NET, PF_ROUTE}, arguments {0, family, NET_RT_IFLIST, interface index or 0}.
int net_route(SysctlArgs args, SysctlReply &reply);
