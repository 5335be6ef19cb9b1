// The local socket lists: FreeBSD's unp_pcblist(), a struct xunpcb for every socket of one type
// in the host's unix tables, joined to its peer as unp_connect2() joins them.
#include "freebsd/sys/kern/uipc_usrreq.h"

#include <sys/socket.h>
#include <sys/unpcb.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "freebsd/kernel_addresses.h"
#include "freebsd/sys/kern/uipc_usrreq_refs.h"
#include "freebsd/sys/netinet/in_pcblist.h"

namespace {

// A local socket's bound name, with its length; all zero when it has none, as FreeBSD copies no
// address for an unbound socket.
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

// One list's records. Datagram sockets also carry unp_refs, the senders connected to each; the
// socket that bound a path its file's vnode.
class LocalFill {
public:
    explicit LocalFill(int type) : type_(type) {}

    void prepare(const std::vector<host::SocketFacts> &sockets) {
        if (type_ == SOCK_DGRAM)
            refs_ = DatagramRefs(sockets);
        files_ = SocketFileHolders(sockets);
    }

    void operator()(const host::SocketFacts &s, struct xunpcb &xu) const {
        xu.xu_len = sizeof(xu);
        xu.xu_unpp = pcb_kernel_address(s.inode);
        xu.unp_gencnt = s.inode;
        fill_local_address(s.path, xu.xu_addr);
        if (s.peer_inode != 0) {
            xu.unp_conn = pcb_kernel_address(s.peer_inode);
            fill_local_address(s.peer_path, xu.xu_caddr);
        }
        if (uint64_t first = refs_.first_ref(s.inode))
            xu.xu_firstref = pcb_kernel_address(first);
        if (uint64_t next = refs_.next_ref(s))
            xu.xu_nextref = pcb_kernel_address(next);
        if (files_.holds_file(s))
            xu.unp_vnode = vnode_kernel_address(static_cast<uint32_t>(s.vfs_inode));
        fill_xsocket(s, {AF_UNIX, type_}, 0, xu.xu_socket);
    }

private:
    int type_;
    DatagramRefs refs_;
    SocketFileHolders files_;
};

int local_list(SysctlReply &reply, int type, bool (*keep)(const host::SocketFacts &)) {
    return answer_pcblist<struct xunpgen, struct xunpcb>(host::SocketTables::local, reply, xunpgen_of, local_slack,
                                                         LocalFill(type), keep);
}

}  // namespace

int net_local_stream_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_STREAM, is_stream); }
int net_local_dgram_pcblist(SysctlArgs, SysctlReply &reply) { return local_list(reply, SOCK_DGRAM, is_dgram); }
int net_local_seqpacket_pcblist(SysctlArgs, SysctlReply &reply) {
    return local_list(reply, SOCK_SEQPACKET, is_seqpacket);
}
