// The host's interfaces turned into FreeBSD's records: flags, types, link states, media words,
// link-level and Internet socket addresses, and the counters of struct if_data. Shared by the
// interface list sysctl, getifaddrs and the interface ioctls.
#pragma once
#include <sys/types.h>
#include <net/if.h>
#include <net/if_dl.h>
#include <netinet/in.h>

#include <cstdint>
#include <vector>

#include "linux/net/rtnetlink.h"

// Linux's interface flags to FreeBSD's (the whole word); Ethernet links are simplex on FreeBSD.
uint32_t linux_flags_to_freebsd(uint32_t linux_flags, uint16_t linux_type);
// Linux's hardware type to FreeBSD's interface type (IFT_*).
uint8_t linux_type_to_freebsd(uint16_t linux_type);
// Linux's operational state to FreeBSD's link state (LINK_STATE_*).
uint8_t linux_operstate_to_link_state(uint8_t operstate);
// The active media word of an Ethernet link with these settings; without carrier there is none.
int linux_link_to_media_word(const host::LinkSettings &settings, bool carrier);

// A link-level address as FreeBSD's interface list carries it: sdl_len is at least
// sizeof(struct sockaddr_dl), rounded up to a long. Loopback links have no address, as lo0.
struct LinkAddress {
    alignas(8) unsigned char bytes[64];
    const struct sockaddr_dl *sdl() const { return reinterpret_cast<const struct sockaddr_dl *>(bytes); }
    size_t size() const { return bytes[0]; }
};
LinkAddress link_address(const host::Link &link);

// The interface's FreeBSD if_data: type, MTU, link state and counters.
struct if_data link_if_data(const host::Link &link);

// The Internet socket addresses of one host address, as sockaddr_in or sockaddr_in6.
struct InetAddresses {
    struct sockaddr_storage address, netmask, other;  // other: broadcast or peer
    bool has_other = false;
};
// The broadcast address when the link broadcasts, else the peer of a point-to-point address.
// A broadcast link's IPv4 address without one gets the subnet's, as FreeBSD computes it.
InetAddresses inet_addresses(const host::Address &addr, uint32_t freebsd_flags);
int freebsd_family(host::AddrFamily family);

// One read of the host's interfaces: links by index and their addresses.
struct InterfaceSnapshot {
    std::vector<host::Link> links;
    std::vector<host::Address> addresses;
};
// 0 or an errno.
int read_interface_snapshot(InterfaceSnapshot &out);
