// NETLINK_SOCK_DIAG (sock_diag(7)) dumps of the IPv6 sockets that also take IPv4 traffic.
#include "linux/net/dual_stack.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>

#include "linux/net/sock_diag.h"
#include "linux/text_file.h"

namespace host {
namespace {

bool contains(const std::vector<uint64_t> &sorted, uint64_t inode) {
    return std::binary_search(sorted.begin(), sorted.end(), inode);
}

// The INET_DIAG_SKV6ONLY attribute of one answer; -1 when it has none.
int v6only_of(const struct nlmsghdr *header) {
    const auto *msg = static_cast<const struct inet_diag_msg *>(NLMSG_DATA(header));
    int len = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof(*msg)));
    for (const struct rtattr *attr = reinterpret_cast<const struct rtattr *>(msg + 1); RTA_OK(attr, len);
         attr = RTA_NEXT(attr, len))
        if (attr->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(attr) >= 1)
            return *static_cast<const uint8_t *>(RTA_DATA(attr));
    return -1;
}

}  // namespace

bool DualStackSockets::is_dual_stack(uint64_t inode) const {
    if (contains(dual, inode))
        return true;
    return contains(v6only, inode) ? false : default_dual;
}

void read_dual_stack(int protocol, DualStackSockets &out) {
    out = {};
    TextFile file;
    if (file.read("/proc/sys/net/ipv6/bindv6only") == 0) {
        std::string_view text = file.text();
        out.default_dual = to_ll(next_field(text)) == 0;
    }
    struct inet_diag_req_v2 request = {};
    request.sdiag_family = AF_INET6;
    request.sdiag_protocol = static_cast<uint8_t>(protocol);
    request.idiag_states = ~0u;
    auto each = [&out](const struct nlmsghdr &header) {
        if (header.nlmsg_len < NLMSG_LENGTH(sizeof(struct inet_diag_msg)))
            return;
        uint64_t inode = static_cast<const struct inet_diag_msg *>(NLMSG_DATA(&header))->idiag_inode;
        int v6only = v6only_of(&header);
        if (v6only >= 0 && inode != 0)
            (v6only ? out.v6only : out.dual).push_back(inode);
    };
    if (!dump_sock_diag(&request, sizeof(request), each)) {
        out.dual.clear();
        out.v6only.clear();
        return;
    }
    std::sort(out.dual.begin(), out.dual.end());
    std::sort(out.v6only.begin(), out.v6only.end());
}

}  // namespace host
