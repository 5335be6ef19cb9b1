// The record of an Internet socket's protocol control block, as FreeBSD's in_pcbtoxinpcb()
// (in_pcb.c) and sotoxsocket() (uipc_socket.c) fill it, from a socket of the host's /proc/net
// tables; the socket inode stands for the kernel addresses.
#include "freebsd/sys/netinet/in_pcblist.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "freebsd/kernel_addresses.h"

namespace {

in_port_t network_order(uint16_t port) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)};
    in_port_t value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

bool v4_mapped(const uint8_t (&addr)[16]) {
    static const uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(addr, prefix, sizeof(prefix)) == 0;
}

// The IPv4 part of an endpoint: the last 4 bytes, after zeros.
void put_v4(union in_dependaddr &dst, const uint8_t *addr4) { std::memcpy(&dst.id46_addr.ia46_addr4, addr4, 4); }

}  // namespace

bool listed(const host::SocketFacts &s) { return s.inode != 0; }

namespace {

// Linux's TCP states that mean what FreeBSD's socket flags say; the closing states are left
// without flags, as FreeBSD's depend on which side closed first.
constexpr int kTcpEstablished = 1, kTcpSynSent = 2, kTcpCloseWait = 8, kTcpListen = 10;
// Linux's socket states in /proc/net/unix.
constexpr int kUnixConnecting = 2, kUnixConnected = 3;

bool is_listening(const host::SocketFacts &s, int protocol) {
    return s.family == host::SocketFamily::local ? s.listening : protocol == IPPROTO_TCP && s.state == kTcpListen;
}

int16_t socket_state(const host::SocketFacts &s, int protocol) {
    if (s.family == host::SocketFamily::local) {
        if (s.peer_inode != 0 || s.state == kUnixConnected)  // a connected datagram socket stays "unconnected" there
            return SS_ISCONNECTED;
        return s.state == kUnixConnecting ? SS_ISCONNECTING : 0;
    }
    if (protocol == IPPROTO_UDP)
        return s.peer_port != 0 ? SS_ISCONNECTED : 0;
    if (s.state == kTcpEstablished || s.state == kTcpCloseWait)
        return SS_ISCONNECTED;
    return s.state == kTcpSynSent ? SS_ISCONNECTING : 0;
}

}  // namespace

void fill_xsocket(const host::SocketFacts &s, SocketKind kind, int protocol, struct xsocket &xso) {
    xso.xso_len = sizeof(xso);
    xso.xso_so = socket_kernel_address(s.inode);
    xso.so_pcb = pcb_kernel_address(s.inode);
    xso.xso_protocol = protocol;
    xso.xso_family = kind.family;
    xso.so_type = static_cast<int16_t>(kind.type);
    xso.so_uid = s.uid;
    if (is_listening(s, protocol)) {
        // A listener has queues, not buffers: a TCP listener's receive column is Linux's accept
        // queue (the local table has none).
        xso.so_options = SO_ACCEPTCONN;
        if (protocol == IPPROTO_TCP)
            xso.so_qlen = s.receive_queue;
        return;
    }
    xso.so_state = socket_state(s, protocol);
    xso.so_rcv.sb_cc = s.receive_queue;
    xso.so_snd.sb_cc = s.send_queue;
}

void fill_xinpcb(const host::SocketFacts &s, int type, struct xinpcb &xi) {
    xi.xi_len = sizeof(xi);
    SocketKind kind{s.family == host::SocketFamily::inet ? AF_INET : AF_INET6, type};
    fill_xsocket(s, kind, s.protocol, xi.xi_socket);
    fill_inet_endpoints(s, xi);
    xi.inp_gencnt = s.inode;
    xi.inp_ppcb = type == SOCK_STREAM ? pcb_kernel_address(s.inode) : 0;
}

uint64_t generation(const std::vector<host::SocketFacts> &sockets) {
    uint64_t gen = 0;
    for (const host::SocketFacts &s : sockets)
        gen = std::max(gen, s.inode);
    return gen;
}

struct xinpgen xinpgen_of(size_t count, uint64_t gen) {
    return {.xig_len = sizeof(struct xinpgen),
            .xig_count = static_cast<u_int>(count),
            ._xig_spare32 = 0,
            .xig_gen = gen,
            .xig_sogen = gen,
            ._xig_spare64 = {}};
}

size_t inet_slack(size_t count) { return std::max<size_t>(count / 8, 10); }

void fill_inet_endpoints(const host::SocketFacts &s, struct xinpcb &xi) {
    struct in_conninfo &inc = xi.inp_inc;
    inc.inc_fport = network_order(s.peer_port);
    inc.inc_lport = network_order(s.local_port);
    bool ipv4 = s.family == host::SocketFamily::inet ||
                (s.family == host::SocketFamily::inet6 && (v4_mapped(s.local_addr) || v4_mapped(s.peer_addr)));
    if (ipv4) {
        bool v6 = s.family == host::SocketFamily::inet6;
        put_v4(inc.inc_ie.ie_dependfaddr, s.peer_addr + (v6 ? 12 : 0));
        put_v4(inc.inc_ie.ie_dependladdr, s.local_addr + (v6 ? 12 : 0));
        xi.inp_vflag = INP_IPV4;
        return;
    }
    std::memcpy(&inc.inc6_faddr, s.peer_addr, sizeof(inc.inc6_faddr));
    std::memcpy(&inc.inc6_laddr, s.local_addr, sizeof(inc.inc6_laddr));
    inc.inc_flags = INC_ISIPV6;
    xi.inp_vflag = s.dual_stack ? INP_IPV4 | INP_IPV6 : INP_IPV6;
}
