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

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host_fixtures.h"
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
    }
    EXPECT_EQ(found, 1);
    close(fd);
    unlink(path.c_str());
}

}  // namespace
