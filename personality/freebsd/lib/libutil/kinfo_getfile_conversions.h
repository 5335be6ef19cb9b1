// How kinfo_getfile(3) turns the host's facts of a descriptor into a FreeBSD record, apart from
// the reads, so that the conversions can be checked on made-up host values.
#pragma once
#include <sys/user.h>

#include <cstdint>

#include "linux/procfs/descriptor_kind.h"
#include "linux/procfs/fds.h"
#include "linux/net/proc_net.h"

namespace getfile {

int linux_mode_to_vnode_type(uint32_t mode);
int descriptor_kind_to_file_type(host::DescriptorKind kind);
int linux_open_flags_to_freebsd(uint32_t flags);
int linux_family_to_domain(host::SocketFamily family);
int linux_socket_type_to_freebsd(host::SocketType type);
// The whole record of one descriptor; its socket, if any, looked up in sockets.
void fill_descriptor(const host::Descriptor &d, const host::SocketTable &sockets, struct kinfo_file &kf);

}  // namespace getfile
