// The socket side of the personality: kern.file, the control block lists and inet_ntop as a
// FreeBSD caller sees them, and the translations beneath them.
#include <sys/file.h>
#include <sys/socketvar.h>
#include <sys/sysctl.h>
#include <arpa/inet.h>
#include <netinet/in_pcb.h>
#include <netinet/tcp_fsm.h>
#include <netinet/tcp_var.h>
#include <sys/unpcb.h>
#include <sys/user.h>
#include <libutil.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host_fixtures.h"
#include "freebsd/kernel_addresses.h"
#include "freebsd/sys/kern/kern_descrip.h"
#include "freebsd/sys/netinet/in_pcblist.h"
#include "freebsd/sys/netinet/tcp_subr.h"

namespace {

TEST(SocketTranslation, LinuxTcpStatesBecomeFreeBsds) {
    const struct {
        int linux_state, freebsd_state;
    } cases[] = {
        {1, TCPS_ESTABLISHED}, {2, TCPS_SYN_SENT},  {3, TCPS_SYN_RECEIVED}, {4, TCPS_FIN_WAIT_1},
        {5, TCPS_FIN_WAIT_2},  {6, TCPS_TIME_WAIT}, {7, TCPS_CLOSED},       {8, TCPS_CLOSE_WAIT},
        {9, TCPS_LAST_ACK},    {10, TCPS_LISTEN},   {11, TCPS_CLOSING},     {12, TCPS_SYN_RECEIVED},
        {0, TCPS_CLOSED},      {99, TCPS_CLOSED},
    };
    for (const auto &c : cases)
        EXPECT_EQ(linux_tcp_state_to_freebsd(c.linux_state), c.freebsd_state) << "Linux state " << c.linux_state;
}

host::SocketFacts inet6(std::initializer_list<uint8_t> local, std::initializer_list<uint8_t> peer, bool dual) {
    host::SocketFacts s;
    s.family = host::SocketFamily::inet6;
    std::copy(local.begin(), local.end(), s.local_addr);
    std::copy(peer.begin(), peer.end(), s.peer_addr);
    s.local_port = 80;
    s.dual_stack = dual;
    return s;
}

TEST(SocketTranslation, InternetEndpointsAsFreeBsdKeepsThem) {
    host::SocketFacts v4;
    v4.family = host::SocketFamily::inet;
    const uint8_t loop4[4] = {127, 0, 0, 1};
    std::memcpy(v4.local_addr, loop4, 4);
    v4.local_port = 80;
    const std::initializer_list<uint8_t> mapped = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
    const std::initializer_list<uint8_t> loop6 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const uint8_t v4_field[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 127, 0, 0, 1};
    const uint8_t v6_field[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const uint8_t zero[16] = {};
    const struct {
        const char *what;
        host::SocketFacts socket;
        uint8_t vflag, inc_flags;
        const uint8_t *laddr;  // the 16 bytes of the local endpoint
    } cases[] = {
        {"IPv4", v4, INP_IPV4, 0, v4_field},
        {"IPv6", inet6(loop6, {}, false), INP_IPV6, INC_ISIPV6, v6_field},
        {"IPv4 on an IPv6 socket", inet6(mapped, mapped, false), INP_IPV4, 0, v4_field},
        {"unspecified, IPv6 only", inet6({}, {}, false), INP_IPV6, INC_ISIPV6, zero},
        {"unspecified, dual-stack", inet6({}, {}, true), INP_IPV4 | INP_IPV6, INC_ISIPV6, zero},
    };
    for (const auto &c : cases) {
        struct xinpcb xi = {};
        fill_inet_endpoints(c.socket, xi);
        EXPECT_EQ(xi.inp_vflag, c.vflag) << c.what;
        EXPECT_EQ(xi.inp_inc.inc_flags, c.inc_flags) << c.what;
        EXPECT_EQ(std::memcmp(&xi.in6p_laddr, c.laddr, 16), 0) << c.what;
        EXPECT_EQ(ntohs(xi.inp_lport), 80) << c.what;
    }
}

TEST(SocketTranslation, InetNtopTakesFreeBsdsFamilies) {
    const uint8_t v4[4] = {192, 0, 2, 1};
    const uint8_t v6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const struct {
        int af;
        const void *addr;
        socklen_t size;
        const char *text;  // null: fails with err
        int err;
    } cases[] = {
        {AF_INET, v4, INET_ADDRSTRLEN, "192.0.2.1", 0},
        {AF_INET6, v6, INET6_ADDRSTRLEN, "2001:db8::1", 0},
        {10, v6, INET6_ADDRSTRLEN, nullptr, EAFNOSUPPORT},  // Linux's AF_INET6 is no FreeBSD family
        {AF_INET, v4, 4, nullptr, ENOSPC},
    };
    for (const auto &c : cases) {
        char text[INET6_ADDRSTRLEN] = "";
        errno = 0;
        const char *result = inet_ntop(c.af, c.addr, text, c.size);
        if (c.text != nullptr) {
            EXPECT_STREQ(result, c.text);
        } else {
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(errno, c.err);
        }
    }
}

std::vector<char> read_node(const char *name) {
    size_t len = 0;
    EXPECT_EQ(sysctlbyname(name, nullptr, &len, nullptr, 0), 0) << name;
    std::vector<char> buf(len);
    EXPECT_EQ(sysctlbyname(name, buf.data(), &len, nullptr, 0), 0) << name;
    buf.resize(len);
    return buf;
}

kvaddr_t object_of_my_descriptor(int fd) {
    std::vector<char> files = read_node("kern.file");
    for (size_t off = 0; off + sizeof(struct xfile) <= files.size(); off += sizeof(struct xfile)) {
        const auto *xf = reinterpret_cast<const struct xfile *>(files.data() + off);
        EXPECT_EQ(xf->xf_size, sizeof(struct xfile));
        if (xf->xf_pid == getpid() && xf->xf_fd == fd) {
            EXPECT_EQ(xf->xf_type, DTYPE_SOCKET);
            return xf->xf_data;
        }
    }
    ADD_FAILURE() << "fd " << fd << " is not in kern.file";
    return 0;
}

// The records of a list between its two generation records, which must agree.
template <class Gen, class Record>
std::vector<Record> list_records(const char *name) {
    std::vector<char> buf = read_node(name);
    EXPECT_GE(buf.size(), 2 * sizeof(Gen));
    Gen head, tail;
    std::memcpy(&head, buf.data(), sizeof(Gen));
    std::memcpy(&tail, buf.data() + buf.size() - sizeof(Gen), sizeof(Gen));
    EXPECT_EQ(std::memcmp(&head, &tail, sizeof(Gen)), 0) << name;
    std::vector<Record> records((buf.size() - 2 * sizeof(Gen)) / sizeof(Record));
    std::memcpy(records.data(), buf.data() + sizeof(Gen), records.size() * sizeof(Record));
    return records;
}

TEST(SocketLists, AListeningTcpSocketJoinsItsDescriptor) {
    fixtures::BoundSocket s = fixtures::listen_tcp_loopback();
    ASSERT_GE(s.fd, 0);
    kvaddr_t so = object_of_my_descriptor(s.fd);
    int found = 0;
    for (const struct xtcpcb &xt : list_records<struct xinpgen, struct xtcpcb>("net.inet.tcp.pcblist")) {
        ASSERT_EQ(xt.xt_len, sizeof(struct xtcpcb));
        if (xt.xt_inp.xi_socket.xso_so != so)
            continue;
        ++found;
        EXPECT_EQ(xt.t_state, TCPS_LISTEN);
        EXPECT_EQ(ntohs(xt.xt_inp.inp_lport), s.port);
        EXPECT_EQ(ntohl(xt.xt_inp.inp_laddr.s_addr), 0x7f000001u);
        EXPECT_EQ(xt.xt_inp.inp_vflag, INP_IPV4);
        EXPECT_EQ(xt.xt_inp.xi_socket.so_type, SOCK_STREAM);
        EXPECT_EQ(xt.xt_inp.xi_socket.so_uid, geteuid());
        EXPECT_EQ(xt.xt_inp.xi_socket.so_options, SO_ACCEPTCONN);
        EXPECT_EQ(xt.xt_inp.xi_socket.so_qlen, 0u);  // nothing waits to be accepted
    }
    EXPECT_EQ(found, 1);
    close(s.fd);
}

TEST(SocketLists, ABoundLocalSocketJoinsItsDescriptorWithItsPath) {
    std::string path = std::filesystem::temp_directory_path() / ("net-list-" + std::to_string(getpid()));
    int fd = fixtures::bind_unix_stream(path);
    ASSERT_GE(fd, 0);
    kvaddr_t so = object_of_my_descriptor(fd);
    int found = 0;
    for (const struct xunpcb &xu : list_records<struct xunpgen, struct xunpcb>("net.local.stream.pcblist")) {
        ASSERT_EQ(xu.xu_len, sizeof(struct xunpcb));
        if (xu.xu_socket.xso_so != so)
            continue;
        ++found;
        EXPECT_EQ(std::string(xu.xu_addr.sun_path, xu.xu_addr.sun_len - 2), path);
        EXPECT_EQ(xu.xu_socket.xso_family, AF_UNIX);
        EXPECT_EQ(xu.xu_socket.so_uid, geteuid());
    }
    EXPECT_EQ(found, 1);
    close(fd);
    unlink(path.c_str());
}

// The record of one of our descriptors in a local list, found through kern.file as a FreeBSD
// tool joins them; a zero record (and a failure) when the list lacks it.
struct xunpcb local_record_of(int fd, const char *list) {
    kvaddr_t so = object_of_my_descriptor(fd);
    for (const struct xunpcb &xu : list_records<struct xunpgen, struct xunpcb>(list))
        if (xu.xu_socket.xso_so == so)
            return xu;
    ADD_FAILURE() << "fd " << fd << " is not in " << list;
    return {};
}

const char *local_list_of(int type) {
    return type == SOCK_STREAM ? "net.local.stream.pcblist"
           : type == SOCK_DGRAM ? "net.local.dgram.pcblist"
                                : "net.local.seqpacket.pcblist";
}

std::string path_of(const struct sockaddr_un &sun) {
    return sun.sun_len < 2 ? std::string() : std::string(sun.sun_path, strnlen(sun.sun_path, sun.sun_len - 2u));
}

ino_t inode_of(int fd) {
    struct stat st = {};
    EXPECT_EQ(fstat(fd, &st), 0);
    return st.st_ino;
}

uint32_t file_inode_of(const std::string &path) {
    struct stat st = {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return static_cast<uint32_t>(st.st_ino);
}

// Two of our sockets that Linux joined; path: the name the second one's peer is bound to.
struct LocalPair {
    int type;
    int fds[2] = {-1, -1};
    std::string peer_path_of_first, peer_path_of_second;
    ~LocalPair() {
        for (int fd : fds)
            if (fd >= 0)
                close(fd);
    }
};

TEST(SocketLists, JoinedLocalSocketsNameEachOtherAsPeerAsInKinfoFile) {
    std::string path = std::filesystem::temp_directory_path() / ("net-peer-" + std::to_string(getpid()));
    int listener = fixtures::listen_unix_stream(path);
    ASSERT_GE(listener, 0);
    struct Case {
        const char *how;
        int type;
        std::function<bool(LocalPair &)> make;
    } cases[] = {
        {"a client and the socket its listener accepted", SOCK_STREAM,
         [&](LocalPair &p) {
             p.fds[0] = fixtures::connect_unix(SOCK_STREAM, path);
             p.fds[1] = p.fds[0] < 0 ? -1 : fixtures::accept_one(listener);
             p.peer_path_of_first = path;  // the accepted socket carries its listener's name
             return p.fds[1] >= 0;
         }},
        {"a stream socketpair", SOCK_STREAM, [](LocalPair &p) { return fixtures::unix_socketpair(SOCK_STREAM, p.fds); }},
        {"a datagram socketpair", SOCK_DGRAM, [](LocalPair &p) { return fixtures::unix_socketpair(SOCK_DGRAM, p.fds); }},
        {"a seqpacket socketpair", SOCK_SEQPACKET,
         [](LocalPair &p) { return fixtures::unix_socketpair(SOCK_SEQPACKET, p.fds); }},
    };
    struct xunpcb bound = local_record_of(listener, local_list_of(SOCK_STREAM));
    EXPECT_EQ(bound.xu_socket.so_options, SO_ACCEPTCONN);
    EXPECT_EQ(bound.unp_vnode, vnode_kernel_address(file_inode_of(path)));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        LocalPair pair{c.type};
        ASSERT_TRUE(c.make(pair));
        struct xunpcb xu[2] = {local_record_of(pair.fds[0], local_list_of(c.type)),
                               local_record_of(pair.fds[1], local_list_of(c.type))};
        EXPECT_NE(xu[0].xu_unpp, xu[1].xu_unpp);
        EXPECT_EQ(xu[0].unp_conn, xu[1].xu_unpp);
        EXPECT_EQ(xu[1].unp_conn, xu[0].xu_unpp);
        EXPECT_EQ(xu[0].xu_socket.so_state & xu[1].xu_socket.so_state, SS_ISCONNECTED);
        EXPECT_EQ(path_of(xu[0].xu_caddr), pair.peer_path_of_first);
        EXPECT_EQ(path_of(xu[1].xu_caddr), pair.peer_path_of_second);
        EXPECT_EQ(path_of(xu[1].xu_addr), pair.peer_path_of_first);
        EXPECT_EQ(xu[0].unp_vnode | xu[1].unp_vnode, 0u);  // the listener holds the file, not what it accepted
        if (c.type != SOCK_DGRAM)  // unp_refs lists only datagram senders
            EXPECT_EQ(xu[0].xu_firstref | xu[0].xu_nextref | xu[1].xu_firstref | xu[1].xu_nextref, 0u);

        int count = 0;
        struct kinfo_file *files = kinfo_getfile(getpid(), &count);
        ASSERT_NE(files, nullptr);
        for (int i = 0; i < 2; ++i) {
            const struct kinfo_file *kf = files;
            while (kf < files + count && kf->kf_fd != pair.fds[i])
                ++kf;
            ASSERT_LT(kf, files + count);
            EXPECT_EQ(kf->kf_un.kf_sock.kf_sock_pcb, xu[i].xu_unpp);
            EXPECT_EQ(kf->kf_un.kf_sock.kf_sock_unpconn, xu[1 - i].xu_unpp);
            const auto &peer = reinterpret_cast<const struct sockaddr_un &>(kf->kf_sa_peer);
            const std::string &peer_path = i == 0 ? pair.peer_path_of_first : pair.peer_path_of_second;
            EXPECT_EQ(path_of(peer), peer_path);
            EXPECT_EQ(peer.sun_family, AF_LOCAL);
            if (peer_path.empty())  // FreeBSD's unnamed address, a bare struct sockaddr
                EXPECT_EQ(peer.sun_len, sizeof(struct sockaddr));
        }
        std::free(files);
    }
    close(listener);
    unlink(path.c_str());
}

TEST(SocketLists, DatagramSendersAreOnTheirReceiversListNewestSocketFirst) {
    std::string path = std::filesystem::temp_directory_path() / ("net-refs-" + std::to_string(getpid()));
    int receiver = fixtures::bind_unix_datagram(path);
    ASSERT_GE(receiver, 0);
    int senders[2] = {fixtures::connect_unix(SOCK_DGRAM, path), fixtures::connect_unix(SOCK_DGRAM, path)};
    ASSERT_GE(senders[0], 0);
    ASSERT_GE(senders[1], 0);
    const char *list = "net.local.dgram.pcblist";
    struct xunpcb to = local_record_of(receiver, list);
    // Linux keeps no order of the connects: the socket with the larger inode stands for the newer.
    bool second_newer = inode_of(senders[1]) > inode_of(senders[0]);
    struct xunpcb newer = local_record_of(senders[second_newer ? 1 : 0], list);
    struct xunpcb older = local_record_of(senders[second_newer ? 0 : 1], list);
    EXPECT_EQ(to.unp_conn, 0u);
    EXPECT_EQ(to.unp_vnode, vnode_kernel_address(file_inode_of(path)));
    EXPECT_EQ(to.xu_firstref, newer.xu_unpp);
    EXPECT_EQ(to.xu_nextref, 0u);
    for (const struct xunpcb *sender : {&newer, &older}) {
        EXPECT_EQ(sender->unp_conn, to.xu_unpp);
        EXPECT_EQ(path_of(sender->xu_caddr), path);
        EXPECT_EQ(sender->xu_firstref, 0u);
        EXPECT_EQ(sender->unp_vnode, 0u);
    }
    EXPECT_EQ(newer.xu_nextref, older.xu_unpp);
    EXPECT_EQ(older.xu_nextref, 0u);
    for (int fd : {receiver, senders[0], senders[1]})
        close(fd);
    unlink(path.c_str());
}

TEST(SocketTranslation, TcpRowsWithoutASocketAreFreeBsdsSyncacheAndSocketlessPcbs) {
    auto row = [](int state, uint64_t inode, bool v6) {
        host::SocketFacts s;
        s.family = v6 ? host::SocketFamily::inet6 : host::SocketFamily::inet;
        s.type = host::SocketType::stream;
        s.protocol = 6;
        s.state = state;
        s.inode = inode;
        s.local_port = 80;
        s.peer_port = 50000;
        s.local_addr[15] = s.peer_addr[15] = 1;
        if (!v6)
            s.local_addr[0] = s.peer_addr[0] = 127;
        return s;
    };
    const struct Case {
        const char *row;
        host::SocketFacts s;
        int t_state, rank;
        kvaddr_t so;
        int so_type, so_state, xso_len, vflag;
    } cases[] = {
        {"a connection request", row(12, 0, false), TCPS_SYN_RECEIVED, 0, 0, SOCK_STREAM, SS_ISCONNECTING,
         sizeof(struct xsocket), INP_IPV4},
        {"an IPv6 connection request", row(12, 0, true), TCPS_SYN_RECEIVED, 0, 0, SOCK_STREAM, SS_ISCONNECTING,
         sizeof(struct xsocket), INP_IPV6},
        {"TIME_WAIT", row(6, 0, false), TCPS_TIME_WAIT, 1, 0, 0, 0, 0, INP_IPV4},
        {"a socket", row(1, 900, false), TCPS_ESTABLISHED, 1, socket_kernel_address(900), SOCK_STREAM, SS_ISCONNECTED,
         sizeof(struct xsocket), INP_IPV4},
    };
    for (const Case &c : cases) {
        struct xtcpcb xt = {};
        fill_xtcpcb(c.s, xt);
        EXPECT_EQ(xt.xt_len, sizeof(xt)) << c.row;
        EXPECT_EQ(xt.t_state, c.t_state) << c.row;
        EXPECT_EQ(tcp_list_rank(c.s), c.rank) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.xso_so, c.so) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.xso_protocol, IPPROTO_TCP) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.xso_family, c.so ? AF_INET : 0) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.so_type, c.so_type) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.so_state, c.so_state) << c.row;
        EXPECT_EQ(xt.xt_inp.xi_socket.xso_len, static_cast<size_t>(c.xso_len)) << c.row;
        EXPECT_EQ(xt.xt_inp.inp_vflag, c.vflag) << c.row;
        EXPECT_EQ(ntohs(xt.xt_inp.inp_lport), 80) << c.row;
        EXPECT_EQ(ntohs(xt.xt_inp.inp_fport), 50000) << c.row;
    }
}

}  // namespace
