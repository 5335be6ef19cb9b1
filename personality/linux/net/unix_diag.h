// What /proc/net/unix does not tell about local sockets: each one's peer, the peer's name and owner,
// from the host's socket diagnostics (NETLINK_SOCK_DIAG with AF_UNIX, net/unix/diag.c), which
// answer for the sockets of our own network namespace only.
#pragma once
#include <vector>

#include "linux/net/proc_net.h"

namespace host {

// Sets peer_inode, peer_path, vfs_inode, vfs_device and uid of the local sockets among these that the dump shows. Sockets
// of other namespaces, and all of them when the diagnostics are refused, keep none.
void add_unix_peers(std::vector<SocketFacts> &sockets);

}  // namespace host
