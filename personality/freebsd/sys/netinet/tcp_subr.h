// net.inet.tcp.pcblist, as FreeBSD's tcp_pcblist() (netinet/tcp_subr.c) answers it.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

// Its number: FreeBSD's TCPCTL_PCBLIST.
constexpr int kTcpctlPcblist = 11;
int net_inet_tcp_pcblist(SysctlArgs args, SysctlReply &reply);

// Linux's TCP state numbers to FreeBSD's TCPS_*.
int linux_tcp_state_to_freebsd(int linux_state);

struct xtcpcb;
namespace host {
struct SocketFacts;
}
// The record of one row of the host's TCP tables: a socket's as tcp_inptoxtp() fills it; a
// connection request's as syncache_pcblist() does; a connection without a socket (TIME_WAIT) with
// its endpoints and state alone, as in_pcbtoxinpcb() leaves a pcb without a socket.
void fill_xtcpcb(const host::SocketFacts &s, struct xtcpcb &xt);
// The list's order: connection requests first, as tcp_pcblist() puts the syncache before the pcbs.
int tcp_list_rank(const host::SocketFacts &s);
