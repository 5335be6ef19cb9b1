// net.inet.udp.pcblist: FreeBSD's udp_pcblist(), a struct xinpcb for every UDP socket of the
// host's udp and udp6 tables.
#include "freebsd/sys/netinet/udp_usrreq.h"

#include <sys/socket.h>

#include "freebsd/sys/netinet/in_pcblist.h"

int net_inet_udp_pcblist(SysctlArgs, SysctlReply &reply) {
    auto fill = [](const host::SocketFacts &s, struct xinpcb &xi) { fill_xinpcb(s, SOCK_DGRAM, xi); };
    return answer_pcblist<struct xinpgen, struct xinpcb>(host::SocketTables::udp, reply, xinpgen_of, inet_slack, fill,
                                                         listed);
}
