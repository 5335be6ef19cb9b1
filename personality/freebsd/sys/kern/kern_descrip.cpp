// kern.file: a struct xfile for every descriptor of every visible process, from the links
// under /proc/PID/fd.
#include "freebsd/sys/kern/kern_descrip.h"

#include <sys/file.h>

#include <cerrno>

#include "linux/procfs/descriptor_links.h"
#include "linux/procfs/fds.h"
#include "freebsd/kernel_addresses.h"

namespace {

// The first matching prefix wins.
struct LinkKind {
    std::string_view prefix;
    int dtype;
};
constexpr LinkKind kLinkKinds[] = {
    {"socket:[", DTYPE_SOCKET},
    {"pipe:[", DTYPE_PIPE},
    {"anon_inode:[eventfd]", DTYPE_EVENTFD},
    {"anon_inode:[eventpoll]", DTYPE_KQUEUE},  // epoll: Linux's nearest thing to a kqueue
    {"anon_inode:[timerfd]", DTYPE_TIMERFD},
    {"anon_inode:[pidfd]", DTYPE_PROCDESC},
    {"/memfd:", DTYPE_SHM},
    {"/dev/ptmx", DTYPE_PTS},
    {"/", DTYPE_VNODE},
};

// The object behind the descriptor: sockets and pipes are known by their inode.
kvaddr_t object_address(int dtype, std::string_view link) {
    switch (dtype) {
    case DTYPE_SOCKET:
        return socket_kernel_address(host::link_inode(link));
    case DTYPE_PIPE:  // as kinfo_getfile's kf_pipe_addr
        return host::link_inode(link);
    default:
        return 0;
    }
}

}  // namespace

int linux_link_to_dtype(std::string_view link) {
    for (const LinkKind &k : kLinkKinds)
        if (link.starts_with(k.prefix))
            return k.dtype;
    return DTYPE_NONE;
}

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
        xf.xf_type = static_cast<short>(linux_link_to_dtype(d.link));
        xf.xf_count = 1;  // Linux does not show how many descriptors share an open file
        xf.xf_data = object_address(xf.xf_type, d.link);
        reply.out(&xf, sizeof(xf));
        return !reply.overflowed();  // as FreeBSD, stop at the first record that does not fit
    });
    return 0;
}
