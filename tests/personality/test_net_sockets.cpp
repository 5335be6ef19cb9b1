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
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

namespace iff = host::linux_iff;
namespace arphrd = host::linux_arphrd;
namespace oper = host::linux_oper;
using host::LinkSettings;

TEST(SocketTranslation, LinuxFlags) {
    const struct {
        uint32_t linux_flags;
        uint16_t type;
        uint32_t freebsd;
    } rows[] = {
        {iff::up, arphrd::none, IFF_UP},
        {iff::broadcast, arphrd::none, IFF_BROADCAST},
        {iff::debug, arphrd::none, IFF_DEBUG},
        {iff::loopback, arphrd::loopback, IFF_LOOPBACK},
        {iff::pointopoint, arphrd::none, IFF_POINTOPOINT},
        {iff::running, arphrd::none, IFF_RUNNING},
        {iff::noarp, arphrd::none, IFF_NOARP},
        {iff::promisc, arphrd::none, IFF_PROMISC},
        {iff::allmulti, arphrd::none, IFF_ALLMULTI},
        {iff::multicast, arphrd::none, IFF_MULTICAST},
        {iff::master | iff::slave | iff::lower_up | 0x20, arphrd::none, 0},
        {0, arphrd::ether, IFF_SIMPLEX},
        {iff::up | iff::broadcast | iff::multicast | iff::running, arphrd::ether,
         IFF_UP | IFF_BROADCAST | IFF_MULTICAST | IFF_RUNNING | IFF_SIMPLEX},
    };
    for (const auto &r : rows)
        EXPECT_EQ(linux_flags_to_freebsd(r.linux_flags, r.type), r.freebsd) << std::hex << r.linux_flags;
}

TEST(SocketTranslation, LinuxTypesAndStates) {
    const struct {
        uint16_t linux_type;
        uint8_t freebsd;
    } types[] = {
        {arphrd::ether, IFT_ETHER},        {arphrd::loopback, IFT_LOOP},      {arphrd::ppp, IFT_PPP},
        {arphrd::none, IFT_PPP},           {arphrd::tunnel, IFT_GIF},         {arphrd::tunnel6, IFT_GIF},
        {arphrd::sit, IFT_GIF},            {arphrd::ipgre, IFT_TUNNEL},       {arphrd::ieee80211, IFT_IEEE80211},
        {arphrd::ieee80211_radiotap, IFT_IEEE80211}, {arphrd::infiniband, IFT_INFINIBAND}, {1234, IFT_OTHER},
    };
    for (const auto &t : types)
        EXPECT_EQ(linux_type_to_freebsd(t.linux_type), t.freebsd) << t.linux_type;
    const struct {
        uint8_t operstate, link_state;
    } states[] = {
        {oper::up, LINK_STATE_UP},           {oper::down, LINK_STATE_DOWN},        {oper::lowerlayerdown, LINK_STATE_DOWN},
        {oper::notpresent, LINK_STATE_DOWN}, {oper::dormant, LINK_STATE_DOWN},     {oper::unknown, LINK_STATE_UNKNOWN},
        {oper::testing, LINK_STATE_UNKNOWN},
    };
    for (const auto &s : states)
        EXPECT_EQ(linux_operstate_to_link_state(s.operstate), s.link_state) << int(s.operstate);
}

TEST(SocketTranslation, MediaWords) {
    const struct {
        uint32_t speed;
        LinkSettings::Duplex duplex;
        bool carrier;
        int word;
    } rows[] = {
        {10, LinkSettings::half, true, IFM_ETHER | IFM_10_T | IFM_HDX},
        {100, LinkSettings::full, true, IFM_ETHER | IFM_100_TX | IFM_FDX},
        {1000, LinkSettings::full, true, IFM_ETHER | IFM_1000_T | IFM_FDX},
        {2500, LinkSettings::full, true, IFM_ETHER | IFM_2500_T | IFM_FDX},
        {5000, LinkSettings::full, true, IFM_ETHER | IFM_5000_T | IFM_FDX},
        {10000, LinkSettings::full, true, IFM_ETHER | IFM_10G_T | IFM_FDX},
        {25000, LinkSettings::full, true, IFM_ETHER | IFM_25G_CR | IFM_FDX},
        {40000, LinkSettings::full, true, IFM_ETHER | IFM_40G_CR4 | IFM_FDX},
        {50000, LinkSettings::full, true, IFM_ETHER | IFM_50G_CR2 | IFM_FDX},
        {100000, LinkSettings::full, true, IFM_ETHER | IFM_100G_CR4 | IFM_FDX},
        {200000, LinkSettings::full, true, IFM_ETHER | IFM_200G_CR4_PAM4 | IFM_FDX},
        {400000, LinkSettings::full, true, IFM_ETHER | IFM_400G_AUI8 | IFM_FDX},
        {LinkSettings::unknown_speed, LinkSettings::unknown, true, IFM_ETHER | IFM_UNKNOWN},
        {1234, LinkSettings::full, true, IFM_ETHER | IFM_UNKNOWN | IFM_FDX},
        {1000, LinkSettings::full, false, IFM_ETHER | IFM_NONE},
    };
    for (const auto &r : rows)
        EXPECT_EQ(linux_link_to_media_word({r.speed, r.duplex}, r.carrier), r.word) << r.speed;
}

host::Link make_link(const char *name, uint16_t type, std::initializer_list<uint8_t> addr) {
    host::Link link;
    std::snprintf(link.name, sizeof(link.name), "%s", name);
    link.index = 7;
    link.type = type;
    link.addr_len = static_cast<uint8_t>(addr.size());
    std::copy(addr.begin(), addr.end(), link.addr);
    return link;
}

host::Link longest_link() {
    host::Link link = make_link("ib0123456789abc", arphrd::infiniband, {});
    link.addr_len = sizeof(link.addr);
    for (uint8_t i = 0; i < link.addr_len; ++i)
        link.addr[i] = i;
    return link;
}

TEST(SocketTranslation, LinkAddresses) {
    const struct {
        host::Link link;
        size_t sdl_len;
        int alen;
        uint8_t type;
    } rows[] = {
        {make_link("eth0", arphrd::ether, {2, 0, 0, 0, 0, 1}), 54, 6, IFT_ETHER},
        {make_link("lo", arphrd::loopback, {0, 0, 0, 0, 0, 0}), 54, 0, IFT_LOOP},  // lo0 has no address
        {make_link("tun0", arphrd::none, {}), 54, 0, IFT_PPP},
        {make_link("ib0123456789abc", arphrd::infiniband, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17,
                                                          18, 19, 20}), 54, 20, IFT_INFINIBAND},
        {longest_link(), 56, 32, IFT_INFINIBAND},  // 8 + 15 + 32 bytes, rounded up to a long
    };
    for (const auto &r : rows) {
        LinkAddress a = link_address(r.link);
        const struct sockaddr_dl *sdl = a.sdl();
        EXPECT_EQ(a.size(), r.sdl_len) << r.link.name;
        EXPECT_EQ(sdl->sdl_family, AF_LINK);
        EXPECT_EQ(sdl->sdl_index, 7);
        EXPECT_EQ(sdl->sdl_type, r.type);
        EXPECT_EQ(std::string(sdl->sdl_data, sdl->sdl_nlen), r.link.name);
        EXPECT_EQ(sdl->sdl_alen, r.alen);
        EXPECT_EQ(std::memcmp(sdl->sdl_data + sdl->sdl_nlen, r.link.addr, r.alen), 0);
    }
}

TEST(SocketTranslation, Counters) {
    host::Link link = make_link("eth0", arphrd::ether, {});
    link.mtu = 1400;
    link.operstate = oper::up;
    link.counters = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    struct if_data d = link_if_data(link);
    EXPECT_EQ(d.ifi_type, IFT_ETHER);
    EXPECT_EQ(d.ifi_hdrlen, 14);
    EXPECT_EQ(d.ifi_link_state, LINK_STATE_UP);
    EXPECT_EQ(d.ifi_datalen, sizeof(struct if_data));
    EXPECT_EQ(d.ifi_mtu, 1400u);
    const std::pair<uint64_t, uint64_t> fields[] = {
        {d.ifi_ipackets, 1}, {d.ifi_opackets, 2}, {d.ifi_ibytes, 3}, {d.ifi_obytes, 4},
        {d.ifi_ierrors, 5},  {d.ifi_oerrors, 6},  {d.ifi_iqdrops, 7 + 11}, {d.ifi_oqdrops, 8},
        {d.ifi_imcasts, 9},  {d.ifi_collisions, 10}, {d.ifi_noproto, 12},
    };
    for (size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
}

std::string text_of(const struct sockaddr_storage &ss) {
    char host[NI_MAXHOST];
    int rc = getnameinfo(reinterpret_cast<const struct sockaddr *>(&ss), ss.ss_len, host, sizeof(host), nullptr, 0,
                         NI_NUMERICHOST | NI_NUMERICSCOPE);
    return rc == 0 ? host : "EAI " + std::to_string(rc);
}

TEST(SocketTranslation, InternetAddresses) {
    auto v4 = [](std::initializer_list<uint8_t> local, int prefix) {
        host::Address a;
        a.index = 3;
        std::copy(local.begin(), local.end(), a.local);
        a.prefixlen = static_cast<uint8_t>(prefix);
        return a;
    };
    host::Address given = v4({10, 1, 2, 3}, 16), computed = v4({10, 1, 2, 3}, 20), ptp = v4({10, 9, 0, 1}, 32);
    given.has_broadcast = true;
    std::memcpy(given.broadcast, "\x0a\x01\xff\x01", 4);
    ptp.has_peer = true;
    std::memcpy(ptp.peer, "\x0a\x09\x00\x02", 4);
    host::Address ll;
    ll.family = host::AddrFamily::inet6;
    ll.index = 3;
    ll.prefixlen = 64;
    ll.link_scope = true;
    std::memcpy(ll.local, "\xfe\x80\0\0\0\0\0\0\0\0\0\0\0\0\0\x01", 16);
    const struct {
        host::Address addr;
        uint32_t flags;
        std::string address, netmask, other;
    } rows[] = {
        {given, IFF_BROADCAST, "10.1.2.3", "255.255.0.0", "10.1.255.1"},
        {computed, IFF_BROADCAST, "10.1.2.3", "255.255.240.0", "10.1.15.255"},
        {computed, 0, "10.1.2.3", "255.255.240.0", ""},
        {ptp, IFF_POINTOPOINT, "10.9.0.1", "255.255.255.255", "10.9.0.2"},
        {ll, IFF_BROADCAST, "fe80::1%3", "ffff:ffff:ffff:ffff::", ""},
    };
    for (const auto &r : rows) {
        InetAddresses sa = inet_addresses(r.addr, r.flags);
        EXPECT_EQ(text_of(sa.address), r.address);
        EXPECT_EQ(text_of(sa.netmask), r.netmask);
        EXPECT_EQ(sa.has_other ? text_of(sa.other) : "", r.other) << r.address;
    }
}

TEST(NetNameInfo, FamiliesLengthsAndRoom) {
    struct sockaddr_in sin{};
    sin.sin_len = sizeof(sin);
    sin.sin_family = AF_INET;
    std::memcpy(&sin.sin_port, "\x00\x50", 2);  // port 80, network order
    std::memcpy(&sin.sin_addr, "\x7f\x00\x00\x01", 4);
    unsigned char dl[20] = {20, AF_LINK, 5, 0, IFT_ETHER, 2, 3, 0, 'e', 'm', 0xde, 0xad, 0x01};
    unsigned char named[20] = {20, AF_LINK, 5, 0, IFT_ETHER, 2, 0, 0, 'e', 'm'};
    unsigned char bare[20] = {20, AF_LINK, 5, 0};
    unsigned char unix_family[16] = {16, AF_UNIX};
    const struct {
        const void *sa;
        socklen_t salen;
        size_t hostlen;
        int rc;
        const char *text;
    } rows[] = {
        {&sin, sizeof(sin), NI_MAXHOST, 0, "127.0.0.1"},
        {&sin, sizeof(sin) - 1, NI_MAXHOST, EAI_FAIL, ""},
        {&sin, sizeof(sin), 9, EAI_OVERFLOW, ""},
        {&sin, sizeof(sin), 10, 0, "127.0.0.1"},
        {dl, sizeof(dl), NI_MAXHOST, 0, "de:ad:01"},
        {dl, 12, NI_MAXHOST, EAI_FAIL, ""},  // the bytes lie beyond the length given
        {named, sizeof(named), NI_MAXHOST, 0, "em"},
        {bare, sizeof(bare), NI_MAXHOST, 0, "link#5"},
        {unix_family, sizeof(unix_family), NI_MAXHOST, EAI_FAMILY, ""},
        {nullptr, 16, NI_MAXHOST, EAI_FAIL, ""},
    };
    for (const auto &r : rows) {
        char host[NI_MAXHOST] = "";
        int rc = getnameinfo(static_cast<const struct sockaddr *>(r.sa), r.salen, host, r.hostlen, nullptr, 0,
                             NI_NUMERICHOST);
        EXPECT_EQ(rc, r.rc) << r.text;
        if (rc == 0) {
            EXPECT_STREQ(host, r.text);
        }
    }
    char serv[NI_MAXSERV];
    ASSERT_EQ(getnameinfo(reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin), nullptr, 0, serv, sizeof(serv),
                          NI_NUMERICSERV), 0);
    EXPECT_STREQ(serv, "80");
}

// The interface list as FreeBSD's routing socket hands it out, against the host's links.
std::vector<char> iflist(std::vector<int> mib, int *err) {
    size_t len = 0;
    *err = 0;
    if (sysctl(mib.data(), static_cast<unsigned>(mib.size()), nullptr, &len, nullptr, 0) != 0) {
        *err = errno;
        return {};
    }
    std::vector<char> buf(len);
    if (sysctl(mib.data(), static_cast<unsigned>(mib.size()), buf.data(), &len, nullptr, 0) != 0)
        *err = errno;
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host_fixtures.h"
#include "kern_file.h"
#include "pcblist.h"

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

TEST(SocketTranslation, LinkTextsBecomeFileKinds) {
    const struct {
        const char *link;
        int dtype;
    } cases[] = {
        {"socket:[12]", DTYPE_SOCKET},          {"pipe:[7]", DTYPE_PIPE},
        {"anon_inode:[eventfd]", DTYPE_EVENTFD}, {"anon_inode:[eventpoll]", DTYPE_KQUEUE},
        {"anon_inode:[timerfd]", DTYPE_TIMERFD}, {"anon_inode:[pidfd]", DTYPE_PROCDESC},
        {"/memfd:x (deleted)", DTYPE_SHM},      {"/dev/ptmx", DTYPE_PTS},
        {"/etc/passwd", DTYPE_VNODE},           {"net:[4026531840]", DTYPE_NONE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(linux_link_to_dtype(c.link), c.dtype) << c.link;
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

TEST(NetRoute, InterfaceListMessages) {
    int err;
    std::vector<char> buf = iflist({CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST, 0}, &err);
    ASSERT_EQ(err, 0);
    std::vector<host::Link> links;
    ASSERT_EQ(host::read_links(links), 0);
    std::set<std::string> expected, named;
    for (const auto &l : links)
        expected.insert(l.name);
    int loopback_index = 0;
    for (size_t pos = 0; pos < buf.size();) {
        struct if_msghdr ifm;
        std::memcpy(&ifm, buf.data() + pos, sizeof(u_short) + 2);
        ASSERT_GT(ifm.ifm_msglen, 0);
        ASSERT_EQ(ifm.ifm_msglen % sizeof(long), 0u);
        ASSERT_LE(pos + ifm.ifm_msglen, buf.size());
        ASSERT_EQ(ifm.ifm_version, RTM_VERSION);
        if (ifm.ifm_type == RTM_IFINFO) {
            std::memcpy(&ifm, buf.data() + pos, sizeof(ifm));
            struct sockaddr_dl sdl;
            std::memcpy(&sdl, buf.data() + pos + sizeof(ifm), sizeof(sdl));
            EXPECT_EQ(ifm.ifm_msglen, sizeof(ifm) + SA_SIZE(&sdl));
            EXPECT_EQ(ifm.ifm_addrs, RTA_IFP);
            EXPECT_EQ(sdl.sdl_index, ifm.ifm_index);
            std::string name(sdl.sdl_data, sdl.sdl_nlen);
            named.insert(name);
            if (ifm.ifm_flags & IFF_LOOPBACK)
                loopback_index = ifm.ifm_index;
        } else {
            ASSERT_EQ(ifm.ifm_type, RTM_NEWADDR);
        }
        pos += ifm.ifm_msglen;
    }
    EXPECT_EQ(named, expected);
    ASSERT_NE(loopback_index, 0);
    // One interface by its index: its own message and its addresses only.
    std::vector<char> one = iflist({CTL_NET, PF_ROUTE, 0, AF_INET, NET_RT_IFLIST, loopback_index}, &err);
    ASSERT_EQ(err, 0);
    ASSERT_GE(one.size(), sizeof(struct if_msghdr));
    struct if_msghdr first;
    std::memcpy(&first, one.data(), sizeof(first));
    EXPECT_EQ(first.ifm_index, loopback_index);
    EXPECT_EQ(one.size() - first.ifm_msglen, 56u);  // 127.0.0.1: header, netmask and address, padded
}

TEST(NetRoute, ArgumentsAsFreeBSDChecksThem) {
    const struct {
        std::vector<int> mib;
        int err;
    } rows[] = {
        {{CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST}, EISDIR},
        {{CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST, 0, 0}, ENOTDIR},
        {{CTL_NET, PF_ROUTE, 0, 0, NET_RT_DUMP, 0}, EOPNOTSUPP},
    };
    for (const auto &r : rows) {
        int err;
        iflist(r.mib, &err);
        EXPECT_EQ(err, r.err) << r.mib.size();
    }
}

TEST(NetIoctl, RequestsOnASocket) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    struct ifreq ifr{};
    std::strcpy(ifr.ifr_name, "lo");
    ASSERT_EQ(ioctl(fd, SIOCGIFMTU, &ifr), 0);
    EXPECT_EQ(ifr.ifr_mtu, std::stoi(test_support::read_whole("/sys/class/net/lo/mtu")));
    ASSERT_EQ(ioctl(fd, SIOCGIFFLAGS, &ifr), 0);
    EXPECT_TRUE(ifr.ifr_flags & IFF_LOOPBACK);
    struct ifmediareq ifmr{};
    std::strcpy(ifmr.ifm_name, "lo");
    EXPECT_EQ(ioctl(fd, SIOCGIFMEDIA, &ifmr), -1);
    EXPECT_EQ(errno, EINVAL);  // lo0 has no media
    std::strcpy(ifr.ifr_name, "nosuch0");
    EXPECT_EQ(ioctl(fd, SIOCGIFMTU, &ifr), -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(ioctl(fd, 0xc0206999UL, &ifr), -1);
    EXPECT_EQ(errno, ENOTTY);
    close(fd);
}

TEST(NetIfaddrs, EveryLinkThenItsAddresses) {
    struct ifaddrs *list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    std::set<std::string> links;
    for (struct ifaddrs *ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        ASSERT_NE(ifa->ifa_addr, nullptr);
        if (ifa->ifa_addr->sa_family == AF_LINK) {
            links.insert(ifa->ifa_name);
            EXPECT_NE(ifa->ifa_data, nullptr);
            EXPECT_EQ(ifa->ifa_netmask, nullptr);
        } else {
            EXPECT_TRUE(links.count(ifa->ifa_name)) << ifa->ifa_name << " before its link";
            EXPECT_NE(ifa->ifa_netmask, nullptr);
            EXPECT_EQ(ifa->ifa_netmask->sa_family, ifa->ifa_addr->sa_family);
        }
    }
    freeifaddrs(list);
    std::vector<host::Link> host_links;
    ASSERT_EQ(host::read_links(host_links), 0);
    EXPECT_EQ(links.size(), host_links.size());
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
