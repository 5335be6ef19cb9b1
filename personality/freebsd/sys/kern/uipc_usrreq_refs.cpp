// The ties between local sockets that unp_pcblist() (kern/uipc_usrreq.c) shows: the unp_refs lists
// of datagram sockets, as unp_connect2() builds them, and which socket holds its file's vnode.
#include "freebsd/sys/kern/uipc_usrreq_refs.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <tuple>

DatagramRefs::DatagramRefs(const std::vector<host::SocketFacts> &sockets) {
    for (const host::SocketFacts &s : sockets)
        if (s.peer_inode != 0)
            links_.emplace_back(s.peer_inode, s.inode);
    std::sort(links_.begin(), links_.end());
}

uint64_t DatagramRefs::first_ref(uint64_t receiver) const {
    auto end = std::upper_bound(links_.begin(), links_.end(), std::pair(receiver, UINT64_MAX));
    return end != links_.begin() && std::prev(end)->first == receiver ? std::prev(end)->second : 0;
}

uint64_t DatagramRefs::next_ref(const host::SocketFacts &sender) const {
    if (sender.peer_inode == 0)
        return 0;
    auto self = std::lower_bound(links_.begin(), links_.end(), std::pair(sender.peer_inode, sender.inode));
    return self != links_.begin() && std::prev(self)->first == sender.peer_inode ? std::prev(self)->second : 0;
}

SocketFileHolders::SocketFileHolders(const std::vector<host::SocketFacts> &sockets) {
    for (const host::SocketFacts &s : sockets)
        if (s.vfs_inode != 0)
            holders_.push_back({s.vfs_device, s.vfs_inode, s.inode});
    std::sort(holders_.begin(), holders_.end(), [](const Holder &a, const Holder &b) {
        return std::tie(a.device, a.file, a.socket) < std::tie(b.device, b.file, b.socket);
    });
    // The first of each file is its binder.
    auto same_file = [](const Holder &a, const Holder &b) { return a.device == b.device && a.file == b.file; };
    holders_.erase(std::unique(holders_.begin(), holders_.end(), same_file), holders_.end());
}

bool SocketFileHolders::holds_file(const host::SocketFacts &s) const {
    if (s.vfs_inode == 0)
        return false;
    auto it = std::lower_bound(holders_.begin(), holders_.end(), s, [](const Holder &h, const host::SocketFacts &x) {
        return std::tie(h.device, h.file) < std::tie(x.vfs_device, x.vfs_inode);
    });
    return it != holders_.end() && it->socket == s.inode;
}
