// net.inet.tcp.pcblist, as FreeBSD's tcp_pcblist() (netinet/tcp_subr.c) answers it.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

// Its number: FreeBSD's TCPCTL_PCBLIST.
constexpr int kTcpctlPcblist = 11;
int net_inet_tcp_pcblist(SysctlArgs args, SysctlReply &reply);

// Linux's TCP state numbers to FreeBSD's TCPS_*.
int linux_tcp_state_to_freebsd(int linux_state);
