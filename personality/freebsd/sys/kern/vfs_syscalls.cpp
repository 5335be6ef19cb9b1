// getfsstat(2) over the host's mount table, as FreeBSD's sys_getfsstat() and kern_getfsstat()
// (sys/kern/vfs_syscalls.c): no buffer or a size of 0 counts the mounts, a buffer fills as many
// records as fit, MNT_NOWAIT never waits for a file system to answer.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/sys/kern/vfs_syscalls.h"

namespace {

// Options under which Linux shows what FreeBSD keeps as a flag.
struct OptionFlag {
    std::string_view option;
    uint64_t flag;
};
constexpr OptionFlag option_flags[] = {
    {"ro", MNT_RDONLY},         {"sync", MNT_SYNCHRONOUS},  {"noexec", MNT_NOEXEC}, {"nosuid", MNT_NOSUID},
    {"noatime", MNT_NOATIME},   {"nosymfollow", MNT_NOSYMFOLLOW}, {"acl", MNT_ACLS}, {"posixacl", MNT_ACLS},
    {"usrquota", MNT_QUOTA},    {"grpquota", MNT_QUOTA},    {"quota", MNT_QUOTA},
};

// File systems without a block device of their own that answer statfs from memory or a local disk.
constexpr std::string_view local_anonymous_types[] = {
    "tmpfs",   "ramfs",    "proc",      "sysfs",  "devtmpfs", "devpts",     "cgroup", "cgroup2",
    "mqueue",  "hugetlbfs", "debugfs",  "tracefs", "securityfs", "pstore",  "bpf",    "configfs",
    "efivarfs", "fusectl", "binfmt_misc", "nsfs", "rpc_pipefs", "btrfs",    "zfs",
};

// A file system served by a user-space daemon answers only when the daemon does, whatever
// device it sits on.
bool is_user_space(const host::Mount &mount) {
    return mount.fstype == "fuse" || mount.fstype == "fuseblk" || mount.fstype.starts_with("fuse.");
}

bool is_local(const host::Mount &mount) {
    return !is_user_space(mount) &&
           (mount.major != 0 ||
            std::ranges::find(local_anonymous_types, mount.fstype) != std::end(local_anonymous_types));
}

int fail(int err) {
    errno = err;
    return -1;
}

// The name in a field of FreeBSD's; a name too long for it is left empty rather than cut to
// another name, as FreeBSD could not have mounted it.
template <size_t N>
void set_name(char (&field)[N], const std::string &name) {
    if (name.size() < N)
        std::memcpy(field, name.c_str(), name.size() + 1);
}

}  // namespace

uint64_t freebsd_mount_flags(const host::Mount &mount) {
    uint64_t flags = 0;
    for (const OptionFlag &o : option_flags)
        if (host::has_option(mount.mount_options, o.option) || host::has_option(mount.super_options, o.option))
            flags |= o.flag;
    if (is_local(mount))
        flags |= MNT_LOCAL;
    if (mount.mount_point == "/")
        flags |= MNT_ROOTFS;
    return flags;
}

bool statfs_cannot_hang(const host::Mount &mount) { return is_local(mount); }

void fill_statfs(const host::Mount &mount, const host::FsFigures *figures, struct statfs &out) {
    std::memset(&out, 0, sizeof(out));
    out.f_version = STATFS_VERSION;
    out.f_flags = freebsd_mount_flags(mount);
    out.f_fsid.val[0] = static_cast<int32_t>((mount.major << 20) | (mount.minor & 0xfffff));
    size_t type_len = std::min(mount.fstype.size(), sizeof(out.f_fstypename) - 1);
    std::memcpy(out.f_fstypename, mount.fstype.data(), type_len);
    set_name(out.f_mntfromname, mount.source);
    set_name(out.f_mntonname, mount.mount_point);
    if (figures == nullptr)
        return;
    out.f_bsize = figures->fragment_size != 0 ? figures->fragment_size : figures->block_size;
    out.f_iosize = figures->block_size;
    out.f_blocks = figures->blocks;
    out.f_bfree = figures->blocks_free;
    out.f_bavail = static_cast<int64_t>(figures->blocks_available);
    out.f_files = figures->files;
    out.f_ffree = static_cast<int64_t>(figures->files_free);
    out.f_namemax = static_cast<uint32_t>(figures->name_max);
}

int getfsstat(struct statfs *buf, long bufsize, int mode) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (mode != MNT_WAIT && mode != MNT_NOWAIT)
            return fail(EINVAL);
        if (bufsize < 0)
            return fail(EINVAL);
        // No room at all, or no buffer: the caller only wants the count.
        const bool counting = buf == nullptr || bufsize == 0;
        const size_t room = static_cast<size_t>(bufsize) / sizeof(struct statfs);

        control::Outcome o = control::consult("getfsstat", {}, !counting);
        if (o.action == control::Action::fail)
            return fail(o.err);
        if (o.action == control::Action::answer) {  // the records themselves
            size_t count = o.bytes.size() / sizeof(struct statfs);
            if (counting)
                return static_cast<int>(count);
            count = std::min(count, room);
            std::memcpy(buf, o.bytes.data(), count * sizeof(struct statfs));
            return static_cast<int>(count);
        }

        std::vector<host::Mount> mounts;
        if (int err = host::read_mounts(mounts))
            return fail(err);
        if (counting)
            return static_cast<int>(mounts.size());
        const bool privileged = geteuid() == 0;
        size_t count = 0;
        for (size_t i = 0; i < mounts.size() && count < room; ++i) {
            host::FsFigures figures;
            bool asked = mode == MNT_WAIT || statfs_cannot_hang(mounts[i]);
            bool read = asked && host::read_fs_figures(mounts[i].mount_point.c_str(), figures) == 0;
            if (mode == MNT_WAIT && !read)
                continue;  // FreeBSD leaves out, and does not count, a mount whose statfs fails
            fill_statfs(mounts[i], read ? &figures : nullptr, buf[count]);
            if (!privileged)  // the file-system id is for the privileged only
                buf[count].f_fsid = {};
            ++count;
        }
        return static_cast<int>(count);
    });
}
