// Every socket of one protocol that the host's /proc/net tables show, in every network
// namespace a visible process uses, read whole, table by table.
#pragma once
#include <vector>

#include "linux/net/proc_net.h"

namespace host {

enum class SocketTables {
    tcp,    // tcp, tcp6
    udp,    // udp, udp6
    local,  // unix, every type
};

// Our own namespace first, then each other namespace once, through the first process (by pid)
// that uses it. Inet sockets carry the table's type and protocol; an IPv6 socket bound to the
// unspecified address tells in dual_stack whether it also takes IPv4 traffic; local sockets of our
// namespace carry their peers. 0, or the errno
// of a failed read of our own namespace's tables.
int read_socket_tables(SocketTables which, std::vector<SocketFacts> &out);

}  // namespace host
