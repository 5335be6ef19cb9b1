// NET_RT_IFLIST as FreeBSD's routing socket writes it (sysctl_iflist(), net/rtsock.c): per
// interface an RTM_IFINFO message (its if_msghdr and link-level address), then an RTM_NEWADDR
// message per address of the family asked for (netmask, address, broadcast or peer). Socket
// addresses take SA_SIZE bytes and every message is padded to a long.
#include "freebsd/sys/net/rtsock.h"

#include <net/if.h>
#include <net/route.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "freebsd/sys/net/if_var.h"

namespace {

constexpr size_t kAlign = sizeof(long);

size_t aligned(size_t len) { return (len + kAlign - 1) & ~(kAlign - 1); }

// Appends a socket address in the room SA_SIZE gives it.
void put_sockaddr(std::string &msg, const void *sa) {
    size_t room = SA_SIZE(static_cast<const struct sockaddr *>(sa));
    size_t len = static_cast<const struct sockaddr *>(sa)->sa_len;
    msg.append(static_cast<const char *>(sa), len < room ? len : room);
    msg.append(room - (len < room ? len : room), '\0');
}

template <class Header>
void finish(std::string &msg, Header &header, u_short Header::*msglen) {
    msg.append(aligned(msg.size()) - msg.size(), '\0');
    header.*msglen = static_cast<u_short>(msg.size());
    std::memcpy(msg.data(), &header, sizeof(header));
}

void interface_message(const host::Link &link, std::string &msg) {
    struct if_msghdr ifm{};
    ifm.ifm_version = RTM_VERSION;
    ifm.ifm_type = RTM_IFINFO;
    ifm.ifm_addrs = RTA_IFP;
    ifm.ifm_flags = static_cast<int>(linux_flags_to_freebsd(link.flags, link.type));
    ifm.ifm_index = static_cast<u_short>(link.index);
    ifm.ifm_data = link_if_data(link);
    msg.assign(sizeof(ifm), '\0');
    put_sockaddr(msg, link_address(link).bytes);
    finish(msg, ifm, &if_msghdr::ifm_msglen);
}

void address_message(const host::Link &link, const host::Address &addr, std::string &msg) {
    InetAddresses sa = inet_addresses(addr, linux_flags_to_freebsd(link.flags, link.type));
    struct ifa_msghdr ifam{};
    ifam.ifam_version = RTM_VERSION;
    ifam.ifam_type = RTM_NEWADDR;
    ifam.ifam_addrs = RTA_NETMASK | RTA_IFA | (sa.has_other ? RTA_BRD : 0);
    ifam.ifam_index = static_cast<u_short>(link.index);
    msg.assign(sizeof(ifam), '\0');
    put_sockaddr(msg, &sa.netmask);  // in RTA bit order: netmask, address, broadcast
    put_sockaddr(msg, &sa.address);
    if (sa.has_other)
        put_sockaddr(msg, &sa.other);
    finish(msg, ifam, &ifa_msghdr::ifam_msglen);
}

}  // namespace

// The arguments: {protocol, family, operation, argument}.
int net_route(SysctlArgs args, SysctlReply &reply) {
    int family = args[1], op = args[2], index = args[3];
    if (op != NET_RT_IFLIST)
        return EOPNOTSUPP;  // the routing table and the other lists are not provided
    InterfaceSnapshot snapshot;
    if (int err = read_interface_snapshot(snapshot))
        return err;
    std::string msg;
    for (const host::Link &link : snapshot.links) {
        if (index != 0 && index != link.index)
            continue;
        interface_message(link, msg);
        reply.out(msg.data(), msg.size());
        for (const host::Address &addr : snapshot.addresses) {
            if (addr.index != link.index || (family != 0 && family != freebsd_family(addr.family)))
                continue;
            address_message(link, addr, msg);
            reply.out(msg.data(), msg.size());
        }
    }
    return 0;
}
