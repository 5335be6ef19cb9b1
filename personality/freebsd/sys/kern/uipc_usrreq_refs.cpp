// The unp_refs lists of datagram sockets, as unp_connect2() (kern/uipc_usrreq.c) builds them.
#include "freebsd/sys/kern/uipc_usrreq_refs.h"

#include <algorithm>
#include <iterator>

DatagramRefs::DatagramRefs(const std::vector<host::SocketFacts> &sockets) {
    for (const host::SocketFacts &s : sockets)
        if (s.peer_inode != 0)
            links_.emplace_back(s.peer_inode, s.inode);
    std::sort(links_.begin(), links_.end());
}

uint64_t DatagramRefs::first_ref(uint64_t receiver) const {
    auto end = std::lower_bound(links_.begin(), links_.end(), std::pair<uint64_t, uint64_t>(receiver + 1, 0));
    return end != links_.begin() && std::prev(end)->first == receiver ? std::prev(end)->second : 0;
}

uint64_t DatagramRefs::next_ref(const host::SocketFacts &sender) const {
    if (sender.peer_inode == 0)
        return 0;
    auto self = std::lower_bound(links_.begin(), links_.end(), std::pair(sender.peer_inode, sender.inode));
    return self != links_.begin() && std::prev(self)->first == sender.peer_inode ? std::prev(self)->second : 0;
}
