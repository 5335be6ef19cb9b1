// The personality's interfaces: each translation from Linux's facts to FreeBSD's, then the
// interface list, getnameinfo and the interface ioctls as a FreeBSD caller sees them.
#include <sys/types.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/sysctl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_dl.h>
#include <net/if_media.h>
#include <net/if_types.h>
#include <net/route.h>
#include <netdb.h>
#include <netinet/in.h>

#include "freebsd/sys/net/if_var.h"
#include "test_support.h"

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

TEST(NetTranslation, LinuxFlags) {
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

TEST(NetTranslation, LinuxTypesAndStates) {
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

TEST(NetTranslation, MediaWords) {
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

TEST(NetTranslation, LinkAddresses) {
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

TEST(NetTranslation, Counters) {
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

TEST(NetTranslation, InternetAddresses) {
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
            ASSERT_NE(ifa->ifa_data, nullptr);  // the address's own, its counters unknown to Linux
            const auto *data = static_cast<const struct if_data *>(ifa->ifa_data);
            EXPECT_EQ(data->ifi_datalen, sizeof(struct if_data));
            EXPECT_EQ(data->ifi_ipackets + data->ifi_opackets + data->ifi_ibytes + data->ifi_obytes, 0u);
            EXPECT_EQ(ifa->ifa_netmask->sa_family, ifa->ifa_addr->sa_family);
        }
    }
    freeifaddrs(list);
    std::vector<host::Link> host_links;
    ASSERT_EQ(host::read_links(host_links), 0);
    EXPECT_EQ(links.size(), host_links.size());
}

}  // namespace
