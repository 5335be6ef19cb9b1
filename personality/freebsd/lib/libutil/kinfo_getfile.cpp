// FreeBSD's kinfo_getfile(3): a process's open files as FreeBSD's unpacked records, built from
// what the host shows under /proc.
#include <libutil.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/user.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "freebsd/c_interface.h"
#include "freebsd/kernel_addresses.h"
#include "linux/procfs/fds.h"
#include "linux/net/proc_net.h"
#include "freebsd/lib/libutil/kinfo_getfile_conversions.h"
#include "freebsd/lib/libutil/libutil_records.h"
#include "freebsd/translation.h"

using namespace libutil;

namespace getfile {

// Linux's file kinds (st_mode) to FreeBSD's vnode types.
struct VnodeKind {
    uint32_t linux_kind;
    int vnode_type;
};
constexpr VnodeKind kVnodeKinds[] = {
    {host::linux_mode::regular, KF_VTYPE_VREG},      {host::linux_mode::directory, KF_VTYPE_VDIR},
    {host::linux_mode::char_device, KF_VTYPE_VCHR},  {host::linux_mode::block_device, KF_VTYPE_VBLK},
    {host::linux_mode::symlink, KF_VTYPE_VLNK},      {host::linux_mode::socket, KF_VTYPE_VSOCK},
    {host::linux_mode::fifo, KF_VTYPE_VFIFO},
};

int linux_mode_to_vnode_type(uint32_t mode) {
    for (const VnodeKind &k : kVnodeKinds)
        if ((mode & host::linux_mode::kind_mask) == k.linux_kind)
            return k.vnode_type;
    return KF_VTYPE_UNKNOWN;
}

using host::DescriptorKind;

constexpr Translation<DescriptorKind, int> kFileTypes[] = {
    {DescriptorKind::file, KF_TYPE_VNODE},
    {DescriptorKind::named_pipe, KF_TYPE_FIFO},
    {DescriptorKind::pty_master, KF_TYPE_PTS},
    {DescriptorKind::pipe, KF_TYPE_PIPE},
    {DescriptorKind::socket, KF_TYPE_SOCKET},
    {DescriptorKind::eventfd, KF_TYPE_EVENTFD},
    {DescriptorKind::eventpoll, KF_TYPE_KQUEUE},  // epoll: Linux's nearest thing to a kqueue
    {DescriptorKind::timerfd, KF_TYPE_TIMERFD},
    {DescriptorKind::pidfd, KF_TYPE_PROCDESC},
    {DescriptorKind::memfd, KF_TYPE_SHM},  // FreeBSD's memfds are shared memory objects
};

int descriptor_kind_to_file_type(DescriptorKind kind) {
    return translate(kFileTypes, kind, static_cast<int>(KF_TYPE_UNKNOWN));
}

// Linux's open flags to FreeBSD's: a flag is set when (flags & mask) == value.
struct OpenFlag {
    uint32_t linux_mask, linux_value;
    int kf_flag;
};
constexpr uint32_t kAccess = host::linux_open::access_mask | host::linux_open::path;  // O_PATH: neither
constexpr OpenFlag kOpenFlags[] = {
    {kAccess, host::linux_open::read_only, KF_FLAG_READ},
    {kAccess, host::linux_open::read_write, KF_FLAG_READ},
    {kAccess, host::linux_open::write_only, KF_FLAG_WRITE},
    {kAccess, host::linux_open::read_write, KF_FLAG_WRITE},
    {host::linux_open::append, host::linux_open::append, KF_FLAG_APPEND},
    {host::linux_open::async, host::linux_open::async, KF_FLAG_ASYNC},
    {host::linux_open::sync, host::linux_open::sync, KF_FLAG_FSYNC},
    {host::linux_open::nonblock, host::linux_open::nonblock, KF_FLAG_NONBLOCK},
    {host::linux_open::direct, host::linux_open::direct, KF_FLAG_DIRECT},
    {host::linux_open::nofollow, host::linux_open::nofollow, KF_FLAG_NOFOLLOW},
};

int linux_open_flags_to_freebsd(uint32_t flags) {
    int kf_flags = 0;
    for (const OpenFlag &f : kOpenFlags)
        if ((flags & f.linux_mask) == f.linux_value)
            kf_flags |= f.kf_flag;
    return kf_flags;
}

// The file facts FreeBSD keeps for vnodes and shared memory: kf_un.kf_file.
void fill_file_facts(const host::FileFacts &f, struct kinfo_file &kf) {
    if (!f.has_stat)
        return;
    kf.kf_un.kf_file.kf_file_fileid = f.ino;
    kf.kf_un.kf_file.kf_file_size = static_cast<uint64_t>(f.size);
    kf.kf_un.kf_file.kf_file_mode = static_cast<uint16_t>(f.mode);
    kf.kf_un.kf_file.kf_file_fsid = f.dev;
    kf.kf_un.kf_file.kf_file_fsid_freebsd11 = static_cast<uint32_t>(f.dev);
    kf.kf_un.kf_file.kf_file_rdev = f.rdev;
    kf.kf_un.kf_file.kf_file_rdev_freebsd11 = static_cast<uint32_t>(f.rdev);
    kf.kf_un.kf_file.kf_file_nlink = f.nlink;
    kf.kf_status = KF_ATTR_VALID;
}

void fill_vnode(const host::FileFacts &f, struct kinfo_file &kf) {
    fill_file_facts(f, kf);
    kf.kf_vnode_type = f.has_stat ? linux_mode_to_vnode_type(f.mode) : KF_VTYPE_UNKNOWN;  // kf_file_type's place
    if (!f.deleted)  // FreeBSD has no name for an unlinked file
        copy_path(kf.kf_path, f.link);
}

// The special entries: vnodes a process uses without a descriptor (FreeBSD marks them with no
// reference count and no offset).
void fill_special(const host::FileFacts &f, int fd, int kf_flags, struct kinfo_file &kf) {
    kf.kf_structsize = sizeof(kf);
    kf.kf_type = KF_TYPE_VNODE;
    kf.kf_fd = fd;
    kf.kf_ref_count = -1;
    kf.kf_offset = -1;
    kf.kf_flags = kf_flags;
    fill_vnode(f, kf);
}

in_port_t network_order(uint16_t port) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)};
    in_port_t value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

template <class Sockaddr>
void store(struct sockaddr_storage &ss, const Sockaddr &sa) {
    static_assert(sizeof(Sockaddr) <= sizeof(ss));
    std::memcpy(&ss, &sa, sizeof(sa));
}

void put_inet(struct sockaddr_storage &ss, const uint8_t (&addr)[16], uint16_t port) {
    struct sockaddr_in sin = {
        .sin_len = sizeof(sin), .sin_family = AF_INET, .sin_port = network_order(port), .sin_addr = {}, .sin_zero = {}};
    std::memcpy(&sin.sin_addr, addr, sizeof(sin.sin_addr));
    store(ss, sin);
}

void put_inet6(struct sockaddr_storage &ss, const uint8_t (&addr)[16], uint16_t port) {
    struct sockaddr_in6 sin6 = {.sin6_len = sizeof(sin6),
                                .sin6_family = AF_INET6,
                                .sin6_port = network_order(port),
                                .sin6_flowinfo = 0,
                                .sin6_addr = {},
                                .sin6_scope_id = 0};
    std::memcpy(&sin6.sin6_addr, addr, sizeof(sin6.sin6_addr));
    store(ss, sin6);
}

// A bound name with the length of its path; an unnamed socket (or an unnamed or absent peer)
// FreeBSD's sun_noname (kern/uipc_usrreq.c, what uipc_sockaddr() and uipc_peeraddr() hand out):
// a bare struct sockaddr of AF_LOCAL, its 16 bytes long.
void put_local(struct sockaddr_storage &ss, std::string_view path) {
    if (path.empty()) {
        struct sockaddr noname = {};
        noname.sa_len = sizeof(noname);
        noname.sa_family = AF_LOCAL;
        store(ss, noname);
        return;
    }
    struct sockaddr_un sun = {};
    sun.sun_family = AF_UNIX;
    size_t n = std::min(path.size(), sizeof(sun.sun_path));
    std::memcpy(sun.sun_path, path.data(), n);
    sun.sun_len = static_cast<unsigned char>(offsetof(struct sockaddr_un, sun_path) + n);
    store(ss, sun);
}

constexpr Translation<host::SocketFamily, int> kFamilies[] = {
    {host::SocketFamily::local, AF_UNIX},
    {host::SocketFamily::inet, AF_INET},
    {host::SocketFamily::inet6, AF_INET6},
};

constexpr Translation<host::SocketType, int> kSocketTypes[] = {
    {host::SocketType::stream, SOCK_STREAM},
    {host::SocketType::dgram, SOCK_DGRAM},
    {host::SocketType::raw, SOCK_RAW},
    {host::SocketType::seqpacket, SOCK_SEQPACKET},
};

int linux_family_to_domain(host::SocketFamily family) {
    return translate(kFamilies, family, static_cast<int>(AF_UNSPEC));
}

int linux_socket_type_to_freebsd(host::SocketType type) { return translate(kSocketTypes, type, 0); }

// The names of FreeBSD's protocol domains (dom_name), which soo_fill_kinfo() puts in kf_path.
constexpr Translation<host::SocketFamily, std::string_view> kDomainNames[] = {
    {host::SocketFamily::local, "local"},
    {host::SocketFamily::inet, "internet"},
    {host::SocketFamily::inet6, "internet6"},
};

std::string_view domain_name(host::SocketFamily family) { return translate(kDomainNames, family, std::string_view()); }

// As FreeBSD's soo_fill_kinfo() (kern/sys_socket.c): the protocol block's address, the same
// stand-in as so_pcb in the control block lists, so the two join; an Internet socket's inpcb is
// that block, a local socket's peer its unp_conn.
void fill_socket(uint64_t inode, const host::SocketTable &sockets, struct kinfo_file &kf) {
    kf.kf_un.kf_sock.kf_sock_pcb = pcb_kernel_address(inode);
    kf.kf_status = KF_ATTR_VALID;
    const host::SocketFacts *s = sockets.find(inode);
    if (s == nullptr)  // netlink, packet, ...: no table of the host shows it
        return;
    copy_path(kf.kf_path, domain_name(s->family));
    kf.kf_sock_domain = linux_family_to_domain(s->family);
    kf.kf_sock_type = linux_socket_type_to_freebsd(s->type);
    kf.kf_sock_protocol = s->protocol;
    switch (s->family) {
    case host::SocketFamily::inet:
        kf.kf_un.kf_sock.kf_sock_inpcb = pcb_kernel_address(inode);
        put_inet(kf.kf_sa_local, s->local_addr, s->local_port);
        put_inet(kf.kf_sa_peer, s->peer_addr, s->peer_port);
        break;
    case host::SocketFamily::inet6:
        kf.kf_un.kf_sock.kf_sock_inpcb = pcb_kernel_address(inode);
        put_inet6(kf.kf_sa_local, s->local_addr, s->local_port);
        put_inet6(kf.kf_sa_peer, s->peer_addr, s->peer_port);
        break;
    case host::SocketFamily::local:
        put_local(kf.kf_sa_local, s->path);
        put_local(kf.kf_sa_peer, s->peer_path);
        if (s->peer_inode != 0)
            kf.kf_un.kf_sock.kf_sock_unpconn = pcb_kernel_address(s->peer_inode);
        break;
    case host::SocketFamily::unknown:
        break;
    }
    kf.kf_un.kf_sock.kf_sock_sendq = s->send_queue;
    kf.kf_un.kf_sock.kf_sock_recvq = s->receive_queue;
}

void fill_descriptor(const host::Descriptor &d, const host::SocketTable &sockets, struct kinfo_file &kf) {
    const host::FileFacts &f = d.file;
    kf.kf_structsize = sizeof(kf);
    kf.kf_type = descriptor_kind_to_file_type(host::descriptor_kind(f));
    kf.kf_fd = d.fd;
    kf.kf_ref_count = 1;  // Linux does not show how many descriptors share the open file
    kf.kf_flags = d.has_info ? linux_open_flags_to_freebsd(d.info.flags) : 0;
    kf.kf_offset = d.info.pos;  // FreeBSD gives every kind its file offset, 0 where it has none
    switch (kf.kf_type) {
    case KF_TYPE_VNODE:
        fill_vnode(f, kf);
        break;
    case KF_TYPE_FIFO:
        fill_vnode(f, kf);
        break;
    case KF_TYPE_SHM:  // "/memfd:NAME": FreeBSD names the object "memfd:NAME"
        fill_file_facts(f, kf);
        copy_path(kf.kf_path, std::string_view(f.link).substr(1));
        break;
    case KF_TYPE_PTS:
        if (d.info.tty_index >= 0) {  // FreeBSD names a pty master by its terminal, "pts/N"
            kf.kf_un.kf_pts.kf_pts_dev = d.pty_slave_rdev;
            kf.kf_un.kf_pts.kf_pts_dev_freebsd11 = static_cast<uint32_t>(d.pty_slave_rdev);
            char name[32];
            int n = std::snprintf(name, sizeof(name), "pts/%d", d.info.tty_index);
            copy_path(kf.kf_path, std::string_view(name, static_cast<size_t>(n)));
            kf.kf_status = KF_ATTR_VALID;
        }
        break;
    case KF_TYPE_PIPE:  // both ends of a Linux pipe are one inode
        kf.kf_un.kf_pipe.kf_pipe_addr = host::link_inode(f.link);
        kf.kf_un.kf_pipe.kf_pipe_peer = kf.kf_un.kf_pipe.kf_pipe_addr;
        kf.kf_status = KF_ATTR_VALID;
        break;
    case KF_TYPE_SOCKET:
        fill_socket(host::link_inode(f.link), sockets, kf);
        break;
    case KF_TYPE_EVENTFD:
        if (d.info.eventfd_count) {
            kf.kf_un.kf_eventfd.kf_eventfd_value = *d.info.eventfd_count;
            kf.kf_status = KF_ATTR_VALID;
        }
        break;
    case KF_TYPE_PROCDESC:
        if (d.info.pidfd_pid) {
            kf.kf_un.kf_proc.kf_pid = *d.info.pidfd_pid;
            kf.kf_status = KF_ATTR_VALID;
        }
        break;
    default:  // kqueue (epoll), timerfd and unknown kinds: the type alone
        break;
    }
}

// The process's sockets, from one read of the host's tables, only if it has any.
void read_sockets_of(pid_t pid, const host::ProcessFiles &files, host::SocketTable &out) {
    std::vector<uint64_t> inodes;
    for (const host::Descriptor &d : files.descriptors)
        if (host::descriptor_kind(d.file) == DescriptorKind::socket)
            if (uint64_t inode = host::link_inode(d.file.link))
                inodes.push_back(inode);
    if (inodes.empty())
        return;
    std::sort(inodes.begin(), inodes.end());
    inodes.erase(std::unique(inodes.begin(), inodes.end()), inodes.end());
    host::read_sockets(pid, inodes, out);
}

}  // namespace getfile

using namespace getfile;

struct kinfo_file *kinfo_getfile(pid_t pid, int *cntp) {
    return without_exceptions<struct kinfo_file *>(nullptr, [&]() -> struct kinfo_file * {
        if (std::optional<struct kinfo_file *> answer = overridden<struct kinfo_file>("kinfo_getfile", pid, cntp))
            return *answer;
        host::ProcessFiles files;
        if (read_live_process(host::read_process_files, pid, files) != 0)
            return nullptr;
        host::SocketTable sockets;
        read_sockets_of(pid, files, sockets);

        // FreeBSD's order: executable, terminal, working and root directories, then the descriptors.
        struct Special {
            const std::optional<host::FileFacts> &file;
            int fd, kf_flags;
        };
        const Special specials[] = {
            {files.text, KF_FD_TYPE_TEXT, KF_FLAG_READ},
            {files.ctty, KF_FD_TYPE_CTTY, KF_FLAG_READ | KF_FLAG_WRITE},
            {files.cwd, KF_FD_TYPE_CWD, KF_FLAG_READ},
            {files.root, KF_FD_TYPE_ROOT, KF_FLAG_READ},
        };
        size_t count = files.descriptors.size();
        for (const Special &s : specials)
            count += s.file.has_value();
        RecordArray<struct kinfo_file> records = allocate_records<struct kinfo_file>(count);
        if (!records) {
            errno = ENOMEM;
            return nullptr;
        }
        struct kinfo_file *kf = records.get();
        for (const Special &s : specials)
            if (s.file)
                fill_special(*s.file, s.fd, s.kf_flags, *kf++);
        for (const host::Descriptor &d : files.descriptors)
            fill_descriptor(d, sockets, *kf++);
        return hand_over(std::move(records), count, cntp);
    });
}
