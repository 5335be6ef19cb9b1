// The control block lists, from the host's /proc/net tables of every network namespace in use:
// a leading and a trailing generation record around one record per socket.
#include "freebsd/sys/netinet/in_pcb.h"

#include <netinet/tcp_fsm.h>
#include <netinet/tcp_var.h>
#include <sys/socket.h>
#include <sys/unpcb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>
#include <vector>

#include "linux/net/socket_tables.h"
#include "freebsd/kernel_addresses.h"
#include "freebsd/translation.h"

namespace {

constexpr Translation<int, int> kTcpStates[] = {
    {1, TCPS_ESTABLISHED}, {2, TCPS_SYN_SENT},  {3, TCPS_SYN_RECEIVED}, {4, TCPS_FIN_WAIT_1},
    {5, TCPS_FIN_WAIT_2},  {6, TCPS_TIME_WAIT}, {7, TCPS_CLOSED},       {8, TCPS_CLOSE_WAIT},
    {9, TCPS_LAST_ACK},    {10, TCPS_LISTEN},   {11, TCPS_CLOSING},     {12, TCPS_SYN_RECEIVED},
};

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

// Sockets without an inode have no socket any more (TIME_WAIT) or none yet (a connection
// request): FreeBSD keeps neither kind with a socket, and the host does not name their owner.
bool listed(const host::SocketFacts &s) { return s.inode != 0; }

struct Socket {
    int family;  // AF_INET, AF_INET6, AF_UNIX
    int type;    // SOCK_*
};

void fill_xsocket(const host::SocketFacts &s, Socket kind, int protocol, struct xsocket &xso) {
    xso.xso_len = sizeof(xso);
    xso.xso_so = socket_kernel_address(s.inode);
    xso.so_pcb = pcb_kernel_address(s.inode);
    xso.xso_protocol = protocol;
    xso.xso_family = kind.family;
    xso.so_type = static_cast<int16_t>(kind.type);
    xso.so_rcv.sb_cc = s.receive_queue;
    xso.so_snd.sb_cc = s.send_queue;
}

void fill_xinpcb(const host::SocketFacts &s, int type, struct xinpcb &xi) {
    xi.xi_len = sizeof(xi);
    Socket kind{s.family == host::SocketFamily::inet ? AF_INET : AF_INET6, type};
    fill_xsocket(s, kind, s.protocol, xi.xi_socket);
    fill_inet_endpoints(s, xi);
    xi.inp_gencnt = s.inode;
    xi.inp_ppcb = type == SOCK_STREAM ? pcb_kernel_address(s.inode) : 0;
}

// A local socket's own bound name, with its length; all zero when it has none, as FreeBSD
// copies no address for an unbound socket.
void fill_local_address(std::string_view path, struct sockaddr_un &sun) {
    if (path.empty())
        return;
    size_t n = std::min(path.size(), sizeof(sun.sun_path));
    sun.sun_family = AF_UNIX;
    std::memcpy(sun.sun_path, path.data(), n);
    sun.sun_len = static_cast<unsigned char>(offsetof(struct sockaddr_un, sun_path) + n);
}

// FreeBSD's generation count has no Linux counterpart: inodes grow as sockets are made, so the
// newest socket's inode stands in for it, and for each record's own count.
uint64_t generation(const std::vector<host::SocketFacts> &sockets) {
    uint64_t gen = 0;
    for (const host::SocketFacts &s : sockets)
        gen = std::max(gen, s.inode);
    return gen;
}

template <class Gen>
void out_generation(SysctlReply &reply, size_t count, uint64_t gen) {
    Gen g = {};
    if constexpr (std::is_same_v<Gen, struct xinpgen>) {
        g.xig_len = sizeof(g);
        g.xig_count = static_cast<u_int>(count);
        g.xig_gen = gen;
        g.xig_sogen = gen;
    } else {
        g.xug_len = sizeof(g);
        g.xug_count = static_cast<u_int>(count);
        g.xug_gen = gen;
        g.xug_sogen = gen;
    }
    reply.out(&g, sizeof(g));
}

// The list: a probe answers FreeBSD's estimate, the records plus slack; a fetch the records
// between two equal generation records (one read of the host's tables).
template <class Gen, class Record, class Fill>
int answer_list(host::SocketTables tables, SysctlReply &reply, size_t (*slack)(size_t), Fill fill,
                bool (*keep)(const host::SocketFacts &)) {
    std::vector<host::SocketFacts> sockets;
    if (int err = host::read_socket_tables(tables, sockets))
        return err;
    std::erase_if(sockets, [&](const host::SocketFacts &s) { return !keep(s); });
    if (reply.probing()) {
        reply.reserve(2 * sizeof(Gen) + (sockets.size() + slack(sockets.size())) * sizeof(Record));
        return 0;
    }
    uint64_t gen = generation(sockets);
    out_generation<Gen>(reply, sockets.size(), gen);
    for (const host::SocketFacts &s : sockets) {
        Record r = {};
        fill(s, r);
        reply.out(&r, sizeof(r));
        if (reply.overflowed())
            return 0;
    }
    out_generation<Gen>(reply, sockets.size(), gen);
    return 0;
}

size_t inet_slack(size_t n) { return std::max<size_t>(n / 8, 10); }
size_t local_slack(size_t n) { return n / 8; }

bool is_stream(const host::SocketFacts &s) { return listed(s) && s.type == host::SocketType::stream; }
bool is_dgram(const host::SocketFacts &s) { return listed(s) && s.type == host::SocketType::dgram; }
bool is_seqpacket(const host::SocketFacts &s) { return listed(s) && s.type == host::SocketType::seqpacket; }

int local_list(SysctlReply &reply, int type, bool (*keep)(const host::SocketFacts &)) {
    auto fill = [type](const host::SocketFacts &s, struct xunpcb &xu) {
        xu.xu_len = sizeof(xu);
        xu.xu_unpp = pcb_kernel_address(s.inode);
        xu.unp_gencnt = s.inode;
        fill_local_address(s.path, xu.xu_addr);
        fill_xsocket(s, {AF_UNIX, type}, 0, xu.xu_socket);
    };
    return answer_list<struct xunpgen, struct xunpcb>(host::SocketTables::local, reply, local_slack, fill, keep);
}

}  // namespace

int linux_tcp_state_to_freebsd(int linux_state) {
    return translate(kTcpStates, linux_state, static_cast<int>(TCPS_CLOSED));
}

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

int net_inet_tcp_pcblist(SysctlArgs, SysctlReply &reply) {
    auto fill = [](const host::SocketFacts &s, struct xtcpcb &xt) {
        xt.xt_len = sizeof(xt);
        fill_xinpcb(s, SOCK_STREAM, xt.xt_inp);
        xt.t_state = linux_tcp_state_to_freebsd(s.state);
    };
    return answer_list<struct xinpgen, struct xtcpcb>(host::SocketTables::tcp, reply, inet_slack, fill, listed);
}

int net_inet_udp_pcblist(SysctlArgs, SysctlReply &reply) {
    auto fill = [](const host::SocketFacts &s, struct xinpcb &xi) { fill_xinpcb(s, SOCK_DGRAM, xi); };
    return answer_list<struct xinpgen, struct xinpcb>(host::SocketTables::udp, reply, inet_slack, fill, listed);
}

int net_local_stream_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_STREAM, is_stream); }
int net_local_dgram_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_DGRAM, is_dgram); }
int net_local_seqpacket_pcblist(SysctlArgs, SysctlReply &reply) {
    return local_list(reply, SOCK_SEQPACKET, is_seqpacket);
}
