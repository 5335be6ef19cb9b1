// The local socket lists: FreeBSD's unp_pcblist(), a struct xunpcb for every socket of one type
// in the host's unix tables.
#include "freebsd/sys/kern/uipc_usrreq.h"

#include <sys/socket.h>
#include <sys/unpcb.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "freebsd/kernel_addresses.h"
#include "freebsd/sys/netinet/in_pcblist.h"

namespace {

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

struct xunpgen xunpgen_of(size_t count, uint64_t gen) {
    return {.xug_len = sizeof(struct xunpgen),
            .xug_count = static_cast<u_int>(count),
            .xug_gen = gen,
            .xug_sogen = gen};
}

// FreeBSD's estimate for a local list: room for an eighth more.
size_t local_slack(size_t count) { return count / 8; }

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
    return answer_pcblist<struct xunpgen, struct xunpcb>(host::SocketTables::local, reply, xunpgen_of, local_slack,
                                                         fill, keep);
}

}  // namespace

int net_local_stream_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_STREAM, is_stream); }
int net_local_dgram_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_DGRAM, is_dgram); }
int net_local_seqpacket_pcblist(SysctlArgs, SysctlReply &reply) {
    return local_list(reply, SOCK_SEQPACKET, is_seqpacket);
}
