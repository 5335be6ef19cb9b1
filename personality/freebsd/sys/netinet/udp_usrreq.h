// net.inet.udp.pcblist, as FreeBSD's udp_pcblist() (netinet/udp_usrreq.c) answers it.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

// Its number: FreeBSD's UDPCTL_PCBLIST.
constexpr int kUdpctlPcblist = 5;
int net_inet_udp_pcblist(SysctlArgs args, SysctlReply &reply);
