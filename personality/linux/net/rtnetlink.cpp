// rtnetlink(7) dumps of links (RTM_GETLINK) and addresses (RTM_GETADDR), and the interface
// ioctls (netdevice(7), SIOCETHTOOL) on a socket.
#include "linux/net/rtnetlink.h"

#include <linux/ethtool.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <linux/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace host {

static_assert(linux_iff::up == IFF_UP && linux_iff::broadcast == IFF_BROADCAST && linux_iff::debug == IFF_DEBUG &&
              linux_iff::loopback == IFF_LOOPBACK && linux_iff::pointopoint == IFF_POINTOPOINT &&
              linux_iff::running == IFF_RUNNING && linux_iff::noarp == IFF_NOARP && linux_iff::promisc == IFF_PROMISC &&
              linux_iff::allmulti == IFF_ALLMULTI && linux_iff::master == IFF_MASTER && linux_iff::slave == IFF_SLAVE &&
              linux_iff::multicast == IFF_MULTICAST && linux_iff::lower_up == 0x10000);
static_assert(linux_arphrd::ether == ARPHRD_ETHER && linux_arphrd::infiniband == ARPHRD_INFINIBAND &&
              linux_arphrd::ppp == ARPHRD_PPP && linux_arphrd::tunnel == ARPHRD_TUNNEL &&
              linux_arphrd::tunnel6 == ARPHRD_TUNNEL6 && linux_arphrd::loopback == ARPHRD_LOOPBACK &&
              linux_arphrd::sit == ARPHRD_SIT && linux_arphrd::ipgre == ARPHRD_IPGRE &&
              linux_arphrd::ieee80211 == ARPHRD_IEEE80211 &&
              linux_arphrd::ieee80211_radiotap == ARPHRD_IEEE80211_RADIOTAP && linux_arphrd::none == ARPHRD_NONE);
static_assert(linux_oper::unknown == IF_OPER_UNKNOWN && linux_oper::down == IF_OPER_DOWN &&
              linux_oper::lowerlayerdown == IF_OPER_LOWERLAYERDOWN && linux_oper::dormant == IF_OPER_DORMANT &&
              linux_oper::up == IF_OPER_UP);

namespace {

constexpr int kDumpAttempts = 5;
constexpr size_t kReceiveBuffer = 64 * 1024;  // a dump part is at most a page or two of messages

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    ~Fd() {
        if (fd >= 0)
            close(fd);
    }
};

// Each attribute of the message part behind a header of hdrlen bytes.
template <class Visit>
void for_each_attribute(const nlmsghdr *h, size_t hdrlen, Visit visit) {
    if (h->nlmsg_len < NLMSG_LENGTH(hdrlen))
        return;
    auto *attr = reinterpret_cast<const rtattr *>(reinterpret_cast<const char *>(NLMSG_DATA(h)) + NLMSG_ALIGN(hdrlen));
    int left = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(NLMSG_ALIGN(hdrlen)));
    for (; RTA_OK(attr, left); attr = RTA_NEXT(attr, left))
        visit(attr->rta_type, RTA_DATA(attr), RTA_PAYLOAD(attr));
}

// One dump of message type `request` (RTM_GETLINK, RTM_GETADDR): parse(header, item) fills an
// item from each answer and tells whether to keep it. Taken again when the kernel says a change
// interrupted it.
template <class Item, class Parse>
int dump(uint16_t request, size_t request_hdrlen, std::vector<Item> &out, Parse parse) {
    auto buffer = std::make_unique<char[]>(kReceiveBuffer);
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        Fd sock(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (sock.fd < 0)
            return errno;
        struct {
            nlmsghdr header;
            char body[NLMSG_ALIGN(sizeof(ifinfomsg))];  // ifinfomsg and ifaddrmsg both start with the family
        } req{};
        req.header.nlmsg_len = NLMSG_LENGTH(request_hdrlen);
        req.header.nlmsg_type = request;
        req.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        req.header.nlmsg_seq = 1;
        if (send(sock.fd, &req, req.header.nlmsg_len, 0) < 0)
            return errno;
        out.clear();
        bool interrupted = false, done = false;
        while (!done) {
            ssize_t got = recv(sock.fd, buffer.get(), kReceiveBuffer, 0);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (got == 0)
                return EIO;
            int left = static_cast<int>(got);
            for (auto *h = reinterpret_cast<const nlmsghdr *>(buffer.get()); NLMSG_OK(h, left);
                 h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_flags & NLM_F_DUMP_INTR)
                    interrupted = true;
                if (h->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    break;
                }
                if (h->nlmsg_type == NLMSG_ERROR) {
                    auto *e = static_cast<const nlmsgerr *>(NLMSG_DATA(h));
                    return h->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) && e->error < 0 ? -e->error : EIO;
                }
                Item item;
                if (parse(h, item))
                    out.push_back(item);
            }
        }
        if (!interrupted)
            return 0;
    }
    return EAGAIN;
}

bool parse_link(const nlmsghdr *h, Link &link) {
    if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
        return false;
    auto *info = static_cast<const ifinfomsg *>(NLMSG_DATA(h));
    link.index = info->ifi_index;
    link.type = info->ifi_type;
    link.flags = info->ifi_flags;
    bool named = false;
    for_each_attribute(h, sizeof(ifinfomsg), [&](int type, const void *data, size_t len) {
        switch (type) {
        case IFLA_IFNAME:
            std::memcpy(link.name, data, std::min(len, sizeof(link.name) - 1));
            link.name[std::min(len, sizeof(link.name) - 1)] = '\0';
            named = true;
            break;
        case IFLA_MTU:
            if (len >= 4)
                std::memcpy(&link.mtu, data, 4);
            break;
        case IFLA_OPERSTATE:
            if (len >= 1)
                link.operstate = *static_cast<const uint8_t *>(data);
            break;
        case IFLA_ADDRESS:
            link.addr_len = static_cast<uint8_t>(std::min(len, sizeof(link.addr)));
            std::memcpy(link.addr, data, link.addr_len);
            break;
        case IFLA_STATS64: {
            rtnl_link_stats64 s{};
            std::memcpy(&s, data, std::min(len, sizeof(s)));
            link.counters = {s.rx_packets, s.tx_packets, s.rx_bytes,   s.tx_bytes,   s.rx_errors,        s.tx_errors,
                             s.rx_dropped, s.tx_dropped, s.multicast,  s.collisions, s.rx_missed_errors, s.rx_nohandler};
            break;
        }
        }
    });
    return named;
}

bool parse_address(const nlmsghdr *h, Address &addr) {
    if (h->nlmsg_type != RTM_NEWADDR || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
        return false;
    auto *info = static_cast<const ifaddrmsg *>(NLMSG_DATA(h));
    if (info->ifa_family != AF_INET && info->ifa_family != AF_INET6)
        return false;
    addr.family = info->ifa_family == AF_INET ? AddrFamily::inet : AddrFamily::inet6;
    addr.index = static_cast<int>(info->ifa_index);
    addr.prefixlen = info->ifa_prefixlen;
    addr.link_scope = info->ifa_scope == RT_SCOPE_LINK;
    size_t width = addr.family == AddrFamily::inet ? 4 : 16;
    uint8_t address[16] = {}, local[16] = {};
    bool has_address = false, has_local = false;
    for_each_attribute(h, sizeof(ifaddrmsg), [&](int type, const void *data, size_t len) {
        if (len < width && type != IFA_BROADCAST)
            return;
        switch (type) {
        case IFA_ADDRESS:
            std::memcpy(address, data, width);
            has_address = true;
            break;
        case IFA_LOCAL:
            std::memcpy(local, data, width);
            has_local = true;
            break;
        case IFA_BROADCAST:
            if (len >= 4) {
                std::memcpy(addr.broadcast, data, 4);
                addr.has_broadcast = true;
            }
            break;
        }
    });
    // A point-to-point address is IFA_LOCAL, its peer IFA_ADDRESS; otherwise both are the address.
    if (!has_address && !has_local)
        return false;
    std::memcpy(addr.local, has_local ? local : address, width);
    addr.has_peer = has_local && has_address && std::memcmp(local, address, width) != 0;
    if (addr.has_peer)
        std::memcpy(addr.peer, address, width);
    return true;
}

// An ioctl on fd with a Linux ifreq for name.
int interface_request(int fd, unsigned long request, const char *name, ifreq &ifr) {
    std::memset(&ifr, 0, sizeof(ifr));
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    return ioctl(fd, request, &ifr) == 0 ? 0 : errno;
}

}  // namespace

int read_links(std::vector<Link> &out) {
    return dump<Link>(RTM_GETLINK, sizeof(ifinfomsg), out, parse_link);
}

int read_addresses(std::vector<Address> &out) {
    return dump<Address>(RTM_GETADDR, sizeof(ifaddrmsg), out, parse_address);
}

int interface_flags(int fd, const char *name, uint32_t &flags) {
    ifreq ifr;
    if (int err = interface_request(fd, SIOCGIFFLAGS, name, ifr))
        return err;
    flags = static_cast<uint16_t>(ifr.ifr_flags);
    return 0;
}

int interface_mtu(int fd, const char *name, int &mtu) {
    ifreq ifr;
    if (int err = interface_request(fd, SIOCGIFMTU, name, ifr))
        return err;
    mtu = ifr.ifr_mtu;
    return 0;
}

int interface_type(int fd, const char *name, uint16_t &type) {
    ifreq ifr;
    if (int err = interface_request(fd, SIOCGIFHWADDR, name, ifr))
        return err;
    type = ifr.ifr_hwaddr.sa_family;
    return 0;
}

int link_settings(int fd, const char *name, LinkSettings &out) {
    ethtool_cmd cmd{};
    cmd.cmd = ETHTOOL_GSET;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    ifr.ifr_data = reinterpret_cast<char *>(&cmd);
    if (ioctl(fd, SIOCETHTOOL, &ifr) != 0)
        return errno;
    uint32_t speed = ethtool_cmd_speed(&cmd);
    out.speed = speed == 0 || speed == static_cast<uint32_t>(SPEED_UNKNOWN) ? LinkSettings::unknown_speed : speed;
    out.duplex = cmd.duplex == DUPLEX_FULL   ? LinkSettings::full
                 : cmd.duplex == DUPLEX_HALF ? LinkSettings::half
                                             : LinkSettings::unknown;
    return 0;
}

}  // namespace host
