// The host's network interfaces: the link and address lists of the caller's network namespace
// (one rtnetlink dump each), and the per-interface requests on a socket.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace host {

// Linux's interface flags (IFF_*), as netlink and SIOCGIFFLAGS report them.
namespace linux_iff {
constexpr uint32_t up = 0x1, broadcast = 0x2, debug = 0x4, loopback = 0x8, pointopoint = 0x10, running = 0x40,
                   noarp = 0x80, promisc = 0x100, allmulti = 0x200, master = 0x400, slave = 0x800,
                   multicast = 0x1000, lower_up = 0x10000;
}
// Linux's hardware types (ARPHRD_*).
namespace linux_arphrd {
constexpr uint16_t ether = 1, infiniband = 32, ppp = 512, tunnel = 768, tunnel6 = 769, loopback = 772, sit = 776,
                   ipgre = 778, ieee80211 = 801, ieee80211_radiotap = 803, none = 0xfffe;
}
// Linux's RFC 2863 operational states (IF_OPER_*).
namespace linux_oper {
constexpr uint8_t unknown = 0, notpresent = 1, down = 2, lowerlayerdown = 3, testing = 4, dormant = 5, up = 6;
}

struct LinkCounters {
    uint64_t rx_packets = 0, tx_packets = 0, rx_bytes = 0, tx_bytes = 0, rx_errors = 0, tx_errors = 0,
             rx_dropped = 0, tx_dropped = 0, multicast = 0, collisions = 0, rx_missed = 0, rx_nohandler = 0;
};

struct Link {
    int index = 0;
    char name[16] = {};       // terminated
    uint32_t flags = 0;       // linux_iff
    uint16_t type = 0;        // linux_arphrd
    uint32_t mtu = 0;
    uint8_t operstate = linux_oper::unknown;
    uint8_t addr_len = 0;     // hardware address
    uint8_t addr[32] = {};
    LinkCounters counters;
};

enum class AddrFamily : uint8_t { inet, inet6 };

struct Address {
    int index = 0;            // the link's
    AddrFamily family = AddrFamily::inet;
    uint8_t prefixlen = 0;
    bool link_scope = false;  // valid on its link only (IPv6 fe80::/10)
    uint8_t local[16] = {};   // as on the wire; IPv4 takes the first 4 bytes
    bool has_peer = false;    // a point-to-point address's other end
    uint8_t peer[16] = {};
    bool has_broadcast = false;
    uint8_t broadcast[4] = {};
};

// 0 and every link by index, or an errno. A dump that the kernel reports interrupted by a
// change is taken again.
int read_links(std::vector<Link> &out);
// 0 and every IPv4 and IPv6 address, IPv4 first, or an errno.
int read_addresses(std::vector<Address> &out);

// Requests on the caller's socket fd for the interface named (at most 15 bytes are used):
// 0 or the host's errno (ENODEV for a name no interface has).
int interface_flags(int fd, const char *name, uint32_t &flags);  // the low 16 bits
int interface_mtu(int fd, const char *name, int &mtu);
int interface_type(int fd, const char *name, uint16_t &type);    // linux_arphrd

// Speed and duplex as the driver tells them (ethtool); EOPNOTSUPP where it has none.
struct LinkSettings {
    static constexpr uint32_t unknown_speed = 0xffffffff;
    uint32_t speed = unknown_speed;  // megabits per second
    enum Duplex : uint8_t { half = 0, full = 1, unknown = 0xff } duplex = unknown;
};
int link_settings(int fd, const char *name, LinkSettings &out);

}  // namespace host
