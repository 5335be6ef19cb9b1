// Which IPv6 sockets also take IPv4 traffic (IPV6_V6ONLY off): /proc/net does not tell, the
// host's socket diagnostics (NETLINK_SOCK_DIAG) do, for the sockets of our network namespace.
#pragma once
#include <cstdint>
#include <vector>

namespace host {

struct DualStackSockets {
    std::vector<uint64_t> dual, v6only;  // inodes, ascending
    bool default_dual = true;             // net.ipv6.bindv6only off: for sockets the dump did not show

    bool is_dual_stack(uint64_t inode) const;
};

// The IPv6 sockets of this IANA protocol (6 or 17) that the diagnostics show; when they are
// refused, both lists stay empty and every socket takes the host's default.
void read_dual_stack(int protocol, DualStackSockets &out);

}  // namespace host
