// The host's interfaces as FreeBSD's ifnet describes them (net/if.c's if_data, if_media.c's
// media words): flags, types, link states, link-level and Internet addresses, counters.
#include "freebsd/sys/net/if_var.h"

#include <net/if_media.h>
#include <net/if_types.h>

#include <cstring>

namespace {

// Linux's flags that FreeBSD has at the same meaning; bits not listed have no FreeBSD meaning
// (Linux's master, slave, portsel, automedia, dynamic, lower_up, dormant, echo).
constexpr struct {
    uint32_t linux_bit, freebsd_bit;
} kFlags[] = {
    {host::linux_iff::up, IFF_UP},
    {host::linux_iff::broadcast, IFF_BROADCAST},
    {host::linux_iff::debug, IFF_DEBUG},
    {host::linux_iff::loopback, IFF_LOOPBACK},
    {host::linux_iff::pointopoint, IFF_POINTOPOINT},
    {host::linux_iff::running, IFF_RUNNING},
    {host::linux_iff::noarp, IFF_NOARP},
    {host::linux_iff::promisc, IFF_PROMISC},
    {host::linux_iff::allmulti, IFF_ALLMULTI},
    {host::linux_iff::multicast, IFF_MULTICAST},
};

constexpr struct {
    uint16_t linux_type;
    uint8_t freebsd_type;
} kTypes[] = {
    {host::linux_arphrd::ether, IFT_ETHER},
    {host::linux_arphrd::loopback, IFT_LOOP},
    {host::linux_arphrd::ppp, IFT_PPP},
    {host::linux_arphrd::none, IFT_PPP},  // tun: FreeBSD's tun is a PPP-type interface
    {host::linux_arphrd::tunnel, IFT_GIF},
    {host::linux_arphrd::tunnel6, IFT_GIF},
    {host::linux_arphrd::sit, IFT_GIF},
    {host::linux_arphrd::ipgre, IFT_TUNNEL},
    {host::linux_arphrd::ieee80211, IFT_IEEE80211},
    {host::linux_arphrd::ieee80211_radiotap, IFT_IEEE80211},
    {host::linux_arphrd::infiniband, IFT_INFINIBAND},
};

constexpr struct {
    uint8_t operstate, link_state;
} kLinkStates[] = {
    {host::linux_oper::up, LINK_STATE_UP},
    {host::linux_oper::down, LINK_STATE_DOWN},
    {host::linux_oper::lowerlayerdown, LINK_STATE_DOWN},
    {host::linux_oper::notpresent, LINK_STATE_DOWN},
    {host::linux_oper::dormant, LINK_STATE_DOWN},
};

// The twisted-pair subtype of each speed that Linux reports, as FreeBSD's drivers name them.
constexpr struct {
    uint32_t mbps;
    int subtype;
} kEtherSubtypes[] = {
    {10, IFM_10_T},         {100, IFM_100_TX},      {1000, IFM_1000_T},        {2500, IFM_2500_T},
    {5000, IFM_5000_T},     {10000, IFM_10G_T},     {25000, IFM_25G_CR},       {40000, IFM_40G_CR4},
    {50000, IFM_50G_CR2},   {100000, IFM_100G_CR4}, {200000, IFM_200G_CR4_PAM4}, {400000, IFM_400G_AUI8},
};

constexpr uint8_t kEtherHeaderLength = 14;

}  // namespace

uint32_t linux_flags_to_freebsd(uint32_t linux_flags, uint16_t linux_type) {
    uint32_t flags = 0;
    for (const auto &f : kFlags)
        if (linux_flags & f.linux_bit)
            flags |= f.freebsd_bit;
    if (linux_type == host::linux_arphrd::ether)
        flags |= IFF_SIMPLEX;
    return flags;
}

uint8_t linux_type_to_freebsd(uint16_t linux_type) {
    for (const auto &t : kTypes)
        if (t.linux_type == linux_type)
            return t.freebsd_type;
    return IFT_OTHER;
}

uint8_t linux_operstate_to_link_state(uint8_t operstate) {
    for (const auto &s : kLinkStates)
        if (s.operstate == operstate)
            return s.link_state;
    return LINK_STATE_UNKNOWN;
}

int linux_link_to_media_word(const host::LinkSettings &settings, bool carrier) {
    if (!carrier)
        return IFM_ETHER | IFM_NONE;
    int word = IFM_ETHER | IFM_UNKNOWN;
    for (const auto &s : kEtherSubtypes)
        if (s.mbps == settings.speed)
            word = IFM_ETHER | s.subtype;
    if (settings.duplex == host::LinkSettings::full)
        word |= IFM_FDX;
    else if (settings.duplex == host::LinkSettings::half)
        word |= IFM_HDX;
    return word;
}

LinkAddress link_address(const host::Link &link) {
    LinkAddress out{};
    auto *sdl = reinterpret_cast<struct sockaddr_dl *>(out.bytes);
    size_t nlen = strnlen(link.name, sizeof(link.name) - 1);
    size_t alen = link.type == host::linux_arphrd::loopback ? 0 : link.addr_len;
    size_t len = offsetof(struct sockaddr_dl, sdl_data) + nlen + alen;
    len = (len + sizeof(long) - 1) & ~(sizeof(long) - 1);
    if (len < sizeof(struct sockaddr_dl))
        len = sizeof(struct sockaddr_dl);
    static_assert(offsetof(struct sockaddr_dl, sdl_data) + 15 + sizeof(link.addr) + sizeof(long) <= sizeof(out.bytes));
    sdl->sdl_len = static_cast<u_char>(len);
    sdl->sdl_family = AF_LINK;
    sdl->sdl_index = static_cast<u_short>(link.index);
    sdl->sdl_type = linux_type_to_freebsd(link.type);
    sdl->sdl_nlen = static_cast<u_char>(nlen);
    sdl->sdl_alen = static_cast<u_char>(alen);
    unsigned char *data = out.bytes + offsetof(struct sockaddr_dl, sdl_data);
    std::memcpy(data, link.name, nlen);
    std::memcpy(data + nlen, link.addr, alen);
    return out;
}

struct if_data link_if_data(const host::Link &link) {
    struct if_data d{};
    const host::LinkCounters &c = link.counters;
    d.ifi_type = linux_type_to_freebsd(link.type);
    d.ifi_addrlen = link_address(link).sdl()->sdl_alen;
    d.ifi_hdrlen = link.type == host::linux_arphrd::ether ? kEtherHeaderLength : 0;
    d.ifi_link_state = linux_operstate_to_link_state(link.operstate);
    d.ifi_datalen = sizeof(struct if_data);
    d.ifi_mtu = link.mtu;
    d.ifi_ipackets = c.rx_packets;
    d.ifi_ierrors = c.rx_errors;
    d.ifi_opackets = c.tx_packets;
    d.ifi_oerrors = c.tx_errors;
    d.ifi_collisions = c.collisions;
    d.ifi_ibytes = c.rx_bytes;
    d.ifi_obytes = c.tx_bytes;
    d.ifi_imcasts = c.multicast;
    d.ifi_iqdrops = c.rx_dropped + c.rx_missed;  // as /proc/net/dev counts input drops
    d.ifi_oqdrops = c.tx_dropped;
    d.ifi_noproto = c.rx_nohandler;
    return d;
}

int freebsd_family(host::AddrFamily family) { return family == host::AddrFamily::inet ? AF_INET : AF_INET6; }

namespace {

void put_inet(struct sockaddr_storage &ss, host::AddrFamily family, const uint8_t *addr, uint32_t scope_id) {
    std::memset(&ss, 0, sizeof(ss));
    if (family == host::AddrFamily::inet) {
        auto *sin = reinterpret_cast<struct sockaddr_in *>(&ss);
        sin->sin_len = sizeof(*sin);
        sin->sin_family = AF_INET;
        std::memcpy(&sin->sin_addr, addr, 4);
    } else {
        auto *sin6 = reinterpret_cast<struct sockaddr_in6 *>(&ss);
        sin6->sin6_len = sizeof(*sin6);
        sin6->sin6_family = AF_INET6;
        std::memcpy(&sin6->sin6_addr, addr, 16);
        sin6->sin6_scope_id = scope_id;
    }
}

}  // namespace

InetAddresses inet_addresses(const host::Address &addr, uint32_t freebsd_flags) {
    InetAddresses out;
    bool v4 = addr.family == host::AddrFamily::inet;
    int bits = v4 ? 32 : 128;
    uint8_t mask[16] = {};
    for (int i = 0; i < bits && i < addr.prefixlen; ++i)
        mask[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    put_inet(out.address, addr.family, addr.local, addr.link_scope ? static_cast<uint32_t>(addr.index) : 0);
    put_inet(out.netmask, addr.family, mask, 0);
    if ((freebsd_flags & IFF_BROADCAST) && v4) {
        uint8_t broadcast[4];
        for (int i = 0; i < 4; ++i)
            broadcast[i] = addr.has_broadcast ? addr.broadcast[i] : static_cast<uint8_t>(addr.local[i] | ~mask[i]);
        put_inet(out.other, addr.family, broadcast, 0);
        out.has_other = true;
    } else if ((freebsd_flags & IFF_POINTOPOINT) && addr.has_peer) {
        put_inet(out.other, addr.family, addr.peer, addr.link_scope ? static_cast<uint32_t>(addr.index) : 0);
        out.has_other = true;
    }
    return out;
}

int read_interface_snapshot(InterfaceSnapshot &out) {
    if (int err = host::read_links(out.links))
        return err;
    return host::read_addresses(out.addresses);
}
