// What unp_pcblist() (kern/uipc_usrreq.c) shows of one local socket's ties to others, where Linux
// keeps them otherwise.
//
// FreeBSD's unp_refs lists (unp_connect2()): every datagram socket connected
// to a receiver is on that receiver's list, the newest first (LIST_INSERT_HEAD). Linux keeps no
// such list nor the order of the connects; socket inodes grow as sockets are made, so the
// senders by decreasing inode stand for it (newest socket first, not newest connect).
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "linux/net/proc_net.h"

class DatagramRefs {
public:
    DatagramRefs() = default;
    explicit DatagramRefs(const std::vector<host::SocketFacts> &sockets);

    // LIST_FIRST(&unp_refs) of the receiver with this inode: its newest sender, or 0.
    uint64_t first_ref(uint64_t receiver) const;
    // LIST_NEXT(unp, unp_reflink) of a sender: the next older sender to the same receiver, or 0.
    uint64_t next_ref(const host::SocketFacts &sender) const;

private:
    std::vector<std::pair<uint64_t, uint64_t>> links_;  // (receiver, sender), ascending
};

// unp_vnode: only the socket that bound a path holds its file's vnode (unp_bind()). Linux gives
// the sockets accepted from a listener the same file, so of the sockets that share one file the
// oldest, the smallest inode, is the binder: accepted sockets are made after it.
class SocketFileHolders {
public:
    SocketFileHolders() = default;
    explicit SocketFileHolders(const std::vector<host::SocketFacts> &sockets);

    bool holds_file(const host::SocketFacts &s) const;

private:
    struct Holder {
        uint64_t device, file, socket;
    };
    std::vector<Holder> holders_;  // by device and file
};
