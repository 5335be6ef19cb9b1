// net.inet.tcp.pcblist: FreeBSD's tcp_pcblist(), a struct xtcpcb for every TCP socket of the
// host's tcp and tcp6 tables, its state translated.
#include "freebsd/sys/netinet/tcp_subr.h"

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

int net_inet_tcp_pcblist(SysctlArgs, SysctlReply &reply) {
    auto fill = [](const host::SocketFacts &s, struct xtcpcb &xt) {
        xt.xt_len = sizeof(xt);
        fill_xinpcb(s, SOCK_STREAM, xt.xt_inp);
        xt.t_state = linux_tcp_state_to_freebsd(s.state);
    };
    return answer_pcblist<struct xinpgen, struct xtcpcb>(host::SocketTables::tcp, reply, xinpgen_of, inet_slack, fill,
                                                         listed);
}
