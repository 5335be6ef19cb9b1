// The protocol control block lists: net.inet.{tcp,udp}.pcblist, net.local.{stream,dgram,seqpacket}.pcblist.
#pragma once
#include <sys/socketvar.h>
#include <netinet/in_pcb.h>

#include "linux/net/proc_net.h"
#include "freebsd/sys/kern/kern_sysctl.h"

// Their numbers: FreeBSD's TCPCTL_PCBLIST and UDPCTL_PCBLIST (the local lists are OID_AUTO nodes).
constexpr int kTcpctlPcblist = 11, kUdpctlPcblist = 5;

int net_inet_tcp_pcblist(SysctlArgs args, SysctlReply &reply);
int net_inet_udp_pcblist(SysctlArgs args, SysctlReply &reply);
int net_local_stream_pcblist(SysctlArgs args, SysctlReply &reply);
int net_local_dgram_pcblist(SysctlArgs args, SysctlReply &reply);
int net_local_seqpacket_pcblist(SysctlArgs args, SysctlReply &reply);

// Linux's TCP state numbers to FreeBSD's TCPS_*.
int linux_tcp_state_to_freebsd(int linux_state);

// inp_vflag, inc_flags and the endpoints of an Internet socket as FreeBSD keeps them: an IPv6
// socket talking IPv4 (a v4-mapped address) is an IPv4 pcb with its addresses in the IPv4
// fields; one on the unspecified address that takes IPv4 too carries both flags.
void fill_inet_endpoints(const host::SocketFacts &s, struct xinpcb &xi);
