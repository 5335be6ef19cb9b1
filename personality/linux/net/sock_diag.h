// One NETLINK_SOCK_DIAG dump (sock_diag(7)): the request goes out, each answer is handed on.
// A netlink socket talks to the network namespace it was made in, so only our own sockets answer.
#pragma once
#include <cstddef>
#include <functional>

struct nlmsghdr;

namespace host {

// Sends request (a SOCK_DIAG_BY_FAMILY body of size bytes, the netlink header added here) and
// hands every answer of the dump to each. False when the socket, the request or the dump failed
// or was cut short: the answers handed on so far are then incomplete.
bool dump_sock_diag(const void *request, size_t size, const std::function<void(const struct nlmsghdr &)> &each);

}  // namespace host
