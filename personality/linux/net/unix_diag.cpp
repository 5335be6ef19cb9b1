// The unix_diag dump (linux/unix_diag.h): every local socket of our network namespace with its
// peer (UNIX_DIAG_PEER), bound name (UNIX_DIAG_NAME), socket file (UNIX_DIAG_VFS) and owner
// (UNIX_DIAG_UID, Linux 5.3 on).
#include "linux/net/unix_diag.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "linux/net/sock_diag.h"

namespace host {
namespace {

struct DiagSocket {
    uint64_t inode = 0, peer = 0;
    std::string name;
    bool has_uid = false;
    uint32_t uid = 0;
    struct unix_diag_vfs vfs = {};
};

// A bound name as /proc/net/unix gives it: a path without the NUL Linux counts in its length;
// an abstract name (a leading NUL) whole.
std::string name_of(const char *bytes, size_t n) {
    if (n > 0 && bytes[0] != '\0')
        n = strnlen(bytes, n);
    return std::string(bytes, n);
}

DiagSocket parse_answer(const struct nlmsghdr &header) {
    const auto *msg = static_cast<const struct unix_diag_msg *>(NLMSG_DATA(&header));
    DiagSocket s;
    s.inode = msg->udiag_ino;
    int len = static_cast<int>(header.nlmsg_len - NLMSG_LENGTH(sizeof(*msg)));
    for (auto *attr = reinterpret_cast<const struct rtattr *>(msg + 1); RTA_OK(attr, len);
         attr = RTA_NEXT(attr, len)) {
        size_t size = RTA_PAYLOAD(attr);
        if (attr->rta_type == UNIX_DIAG_PEER && size >= sizeof(uint32_t)) {
            uint32_t peer;
            std::memcpy(&peer, RTA_DATA(attr), sizeof(peer));
            s.peer = peer;
        } else if (attr->rta_type == UNIX_DIAG_UID && size >= sizeof(uint32_t)) {
            std::memcpy(&s.uid, RTA_DATA(attr), sizeof(s.uid));
            s.has_uid = true;
        } else if (attr->rta_type == UNIX_DIAG_VFS && size >= sizeof(s.vfs)) {
            std::memcpy(&s.vfs, RTA_DATA(attr), sizeof(s.vfs));
        } else if (attr->rta_type == UNIX_DIAG_NAME) {
            s.name = name_of(static_cast<const char *>(RTA_DATA(attr)), size);
        }
    }
    return s;
}

const DiagSocket *find(const std::vector<DiagSocket> &sorted, uint64_t inode) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), inode,
                               [](const DiagSocket &s, uint64_t i) { return s.inode < i; });
    return it != sorted.end() && it->inode == inode ? &*it : nullptr;
}

}  // namespace

void add_unix_peers(std::vector<SocketFacts> &sockets) {
    auto local = [](const SocketFacts &s) { return s.family == SocketFamily::local; };
    if (std::none_of(sockets.begin(), sockets.end(), local))
        return;
    struct unix_diag_req request = {};
    request.sdiag_family = AF_UNIX;
    request.udiag_states = ~0u;
    request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_VFS | UDIAG_SHOW_PEER | UDIAG_SHOW_UID;
    std::vector<DiagSocket> dump;
    auto each = [&dump](const struct nlmsghdr &header) {
        if (header.nlmsg_len >= NLMSG_LENGTH(sizeof(struct unix_diag_msg)))
            dump.push_back(parse_answer(header));
    };
    dump_sock_diag(&request, sizeof(request), each);  // a dump cut short still tells the peers it showed
    std::sort(dump.begin(), dump.end(), [](const DiagSocket &a, const DiagSocket &b) { return a.inode < b.inode; });
    for (SocketFacts &s : sockets) {
        const DiagSocket *d = s.family == SocketFamily::local ? find(dump, s.inode) : nullptr;
        if (d == nullptr)
            continue;
        if (d->has_uid)
            s.uid = d->uid;
        s.vfs_inode = d->vfs.udiag_vfs_ino;
        s.vfs_device = d->vfs.udiag_vfs_dev;
        if (d->peer == 0)
            continue;
        s.peer_inode = d->peer;
        if (const DiagSocket *peer = find(dump, d->peer))
            s.peer_path = peer->name;
    }
}

}  // namespace host
