// kern.file as FreeBSD's sysctl_kern_file() (kern_descrip.c) answers it: a struct xfile for every
// descriptor of every visible process, from the links under /proc/PID/fd.
#include "freebsd/sys/kern/kern_descrip.h"

#include <sys/file.h>

#include <cerrno>

#include "linux/procfs/descriptor_links.h"
#include "linux/procfs/fds.h"
#include "freebsd/kernel_addresses.h"
#include "freebsd/translation.h"
#include "linux/procfs/descriptor_kind.h"

namespace {

using host::DescriptorKind;

constexpr Translation<DescriptorKind, int> kDtypes[] = {
    {DescriptorKind::file, DTYPE_VNODE},       {DescriptorKind::named_pipe, DTYPE_FIFO},
    {DescriptorKind::pty_master, DTYPE_PTS},   {DescriptorKind::pipe, DTYPE_PIPE},
    {DescriptorKind::socket, DTYPE_SOCKET},    {DescriptorKind::eventfd, DTYPE_EVENTFD},
    {DescriptorKind::eventpoll, DTYPE_KQUEUE},  // epoll: Linux's nearest thing to a kqueue
    {DescriptorKind::timerfd, DTYPE_TIMERFD},  {DescriptorKind::pidfd, DTYPE_PROCDESC},
    {DescriptorKind::memfd, DTYPE_SHM},
};

// The object behind the descriptor: sockets and pipes are known by their inode.
kvaddr_t object_address(DescriptorKind kind, std::string_view link) {
    switch (kind) {
    case DescriptorKind::socket:
        return socket_kernel_address(host::link_inode(link));
    case DescriptorKind::pipe:  // as kinfo_getfile's kf_pipe_addr
        return host::link_inode(link);
    default:
        return 0;
    }
}

}  // namespace

int descriptor_kind_to_dtype(DescriptorKind kind) { return translate(kDtypes, kind, static_cast<int>(DTYPE_NONE)); }

int kern_file(SysctlArgs, SysctlReply &reply) {
    if (reply.probing()) {  // FreeBSD's estimate overshoots too: descriptor tables grow
        size_t count = host::count_descriptors();
        reply.reserve((count + count / 8 + 16) * sizeof(struct xfile));
        return 0;
    }
    host::for_each_descriptor([&](const host::DescriptorLink &d) {
        struct xfile xf = {};
        xf.xf_size = sizeof(xf);
        xf.xf_pid = d.pid;
        xf.xf_uid = d.uid;
        xf.xf_fd = d.fd;
        // One readlink per descriptor, no stat: a named pipe shows as a vnode here.
        DescriptorKind kind = host::descriptor_kind(d.link);
        xf.xf_type = static_cast<short>(descriptor_kind_to_dtype(kind));
        xf.xf_count = 1;  // Linux does not show how many descriptors share an open file
        xf.xf_data = object_address(kind, d.link);
        reply.out(&xf, sizeof(xf));
        return !reply.overflowed();  // as FreeBSD, stop at the first record that does not fit
    });
    return 0;
}
