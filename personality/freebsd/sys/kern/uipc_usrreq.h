// net.local.{stream,dgram,seqpacket}.pcblist, as FreeBSD's unp_pcblist() (kern/uipc_usrreq.c)
// answers them.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"

int net_local_stream_pcblist(SysctlArgs args, SysctlReply &reply);
int net_local_dgram_pcblist(SysctlArgs args, SysctlReply &reply);
int net_local_seqpacket_pcblist(SysctlArgs args, SysctlReply &reply);
