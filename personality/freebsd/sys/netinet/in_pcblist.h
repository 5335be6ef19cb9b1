// Internet protocol control blocks as FreeBSD's in_pcbtoxinpcb() (netinet/in_pcb.c) exports them,
// and the walk every pcblist handler (tcp_pcblist, udp_pcblist, unp_pcblist) makes: a generation
// record, one record per socket of one read of the host's tables, the generation record again.
#pragma once
#include <sys/socketvar.h>
#include <netinet/in_pcb.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "freebsd/sys/kern/kern_sysctl.h"
#include "linux/net/socket_tables.h"

// inp_vflag, inc_flags and the endpoints of an Internet socket as FreeBSD keeps them: an IPv6
// socket talking IPv4 (a v4-mapped address) is an IPv4 pcb with its addresses in the IPv4
// fields; one on the unspecified address that takes IPv4 too carries both flags.
void fill_inet_endpoints(const host::SocketFacts &s, struct xinpcb &xi);
// The record of an Internet socket of this type (SOCK_STREAM, SOCK_DGRAM).
void fill_xinpcb(const host::SocketFacts &s, int type, struct xinpcb &xi);

// sotoxsocket(): the socket half of a pcb's record.
struct SocketKind {
    int family;  // AF_INET, AF_INET6, AF_UNIX
    int type;    // SOCK_*
};
void fill_xsocket(const host::SocketFacts &s, SocketKind kind, int protocol, struct xsocket &xso);

// Sockets without an inode have no socket any more (TIME_WAIT) or none yet (a connection
// request): FreeBSD keeps neither kind with a socket, and the host does not name their owner.
bool listed(const host::SocketFacts &s);

// FreeBSD's generation count has no Linux counterpart: inodes grow as sockets are made, so the
// newest socket's inode stands in for it, and for each record's own count.
uint64_t generation(const std::vector<host::SocketFacts> &sockets);
struct xinpgen xinpgen_of(size_t count, uint64_t gen);
// FreeBSD's estimate for an Internet list: room for an eighth more, at least 10.
size_t inet_slack(size_t count);

// The list: a probe answers FreeBSD's estimate, the records plus slack; a fetch the records
// between two equal generation records (one read of the host's tables). A fill with a rank()
// orders the records by it (stable); one that relates records to each other learns the whole
// list first, through its prepare().
template <class Gen, class Record, class Fill>
int answer_pcblist(host::SocketTables tables, SysctlReply &reply, Gen (*gen_of)(size_t, uint64_t),
                   size_t (*slack)(size_t), Fill &&fill, bool (*keep)(const host::SocketFacts &)) {
    std::vector<host::SocketFacts> sockets;
    if (int err = host::read_socket_tables(tables, sockets))
        return err;
    std::erase_if(sockets, [&](const host::SocketFacts &s) { return !keep(s); });
    if constexpr (requires { fill.rank(sockets.front()); })
        std::stable_sort(sockets.begin(), sockets.end(), [&](const host::SocketFacts &a, const host::SocketFacts &b) {
            return fill.rank(a) < fill.rank(b);
        });
    if (reply.probing()) {
        reply.reserve(2 * sizeof(Gen) + (sockets.size() + slack(sockets.size())) * sizeof(Record));
        return 0;
    }
    if constexpr (requires { fill.prepare(sockets); })
        fill.prepare(sockets);
    Gen gen = gen_of(sockets.size(), generation(sockets));
    reply.out(&gen, sizeof(gen));
    for (const host::SocketFacts &s : sockets) {
        Record r = {};
        fill(s, r);
        reply.out(&r, sizeof(r));
        if (reply.overflowed())
            return 0;
    }
    reply.out(&gen, sizeof(gen));
    return 0;
}
