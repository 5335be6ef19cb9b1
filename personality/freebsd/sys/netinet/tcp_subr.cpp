// net.inet.tcp.pcblist: FreeBSD's tcp_pcblist(), a struct xtcpcb for every row of the host's tcp
// and tcp6 tables: connection requests (syncache_pcblist()), sockets, and connections whose
// socket is gone, their states translated.
#include "freebsd/sys/netinet/tcp_subr.h"

#include <netinet/in.h>
#include <netinet/tcp_fsm.h>
#include <netinet/tcp_var.h>
#include <sys/socket.h>

#include "freebsd/sys/netinet/in_pcblist.h"
#include "freebsd/translation.h"

namespace {

constexpr Translation<int, int> kTcpStates[] = {
    {1, TCPS_ESTABLISHED}, {2, TCPS_SYN_SENT},  {3, TCPS_SYN_RECEIVED}, {4, TCPS_FIN_WAIT_1},
    {5, TCPS_FIN_WAIT_2},  {6, TCPS_TIME_WAIT}, {7, TCPS_CLOSED},       {8, TCPS_CLOSE_WAIT},
    {9, TCPS_LAST_ACK},    {10, TCPS_LISTEN},   {11, TCPS_CLOSING},     {12, TCPS_SYN_RECEIVED},
};

}  // namespace

int linux_tcp_state_to_freebsd(int linux_state) {
    return translate(kTcpStates, linux_state, static_cast<int>(TCPS_CLOSED));
}

namespace {

// Linux's request sockets (TCP_NEW_SYN_RECV): FreeBSD keeps them in its syncache, not as pcbs.
constexpr int kLinuxNewSynRecv = 12;

bool connection_request(const host::SocketFacts &s) { return !listed(s) && s.state == kLinuxNewSynRecv; }

bool any_row(const host::SocketFacts &) { return true; }

struct TcpFill {
    static int rank(const host::SocketFacts &s) { return tcp_list_rank(s); }
    void operator()(const host::SocketFacts &s, struct xtcpcb &xt) const { fill_xtcpcb(s, xt); }
};

}  // namespace

int tcp_list_rank(const host::SocketFacts &s) { return connection_request(s) ? 0 : 1; }

void fill_xtcpcb(const host::SocketFacts &s, struct xtcpcb &xt) {
    xt.xt_len = sizeof(xt);
    xt.t_state = linux_tcp_state_to_freebsd(s.state);
    fill_xinpcb(s, SOCK_STREAM, xt.xt_inp);
    if (listed(s))
        return;
    struct xinpcb &xi = xt.xt_inp;
    xi.inp_gencnt = 0;  // no socket inode to stand for the pcb
    xi.inp_ppcb = 0;
    xi.xi_socket = {};
    xi.xi_socket.xso_protocol = IPPROTO_TCP;
    if (connection_request(s)) {
        xi.xi_socket.xso_len = sizeof(xi.xi_socket);
        xi.xi_socket.so_type = SOCK_STREAM;
        xi.xi_socket.so_state = SS_ISCONNECTING;
        xi.inp_vflag = (xi.inp_inc.inc_flags & INC_ISIPV6) ? INP_IPV6 : INP_IPV4;
    }
}

int net_inet_tcp_pcblist(SysctlArgs, SysctlReply &reply) {
    return answer_pcblist<struct xinpgen, struct xtcpcb>(host::SocketTables::tcp, reply, xinpgen_of, inet_slack,
                                                         TcpFill{}, any_row);
}
