// The kind of a process's descriptor from its /proc/PID/fd link text ("socket:[N]",
// "anon_inode:[eventfd]", a path, ...) and the stat of its target.
#include "linux/procfs/descriptor_kind.h"

namespace host {

namespace {

// The first matching prefix wins.
constexpr struct {
    std::string_view prefix;
    DescriptorKind kind;
} kLinkKinds[] = {
    {"socket:[", DescriptorKind::socket},
    {"pipe:[", DescriptorKind::pipe},
    {"anon_inode:[eventfd]", DescriptorKind::eventfd},
    {"anon_inode:[eventpoll]", DescriptorKind::eventpoll},
    {"anon_inode:[timerfd]", DescriptorKind::timerfd},
    {"anon_inode:[pidfd]", DescriptorKind::pidfd},
    {"/memfd:", DescriptorKind::memfd},  // memfd_create(2)
    {"/", DescriptorKind::file},
};

DescriptorKind link_kind(std::string_view link) {
    for (const auto &k : kLinkKinds)
        if (link.starts_with(k.prefix))
            return k.kind;
    return DescriptorKind::unknown;
}

}  // namespace

DescriptorKind descriptor_kind(std::string_view link) {
    DescriptorKind kind = link_kind(link);
    return kind == DescriptorKind::file && link == "/dev/ptmx" ? DescriptorKind::pty_master : kind;
}

DescriptorKind descriptor_kind(const FileFacts &file) {
    if (!file.has_stat)
        return descriptor_kind(file.link);
    DescriptorKind kind = link_kind(file.link);
    if (kind != DescriptorKind::file)
        return kind;
    if (file.pty_master)
        return DescriptorKind::pty_master;
    return (file.mode & linux_mode::kind_mask) == linux_mode::fifo ? DescriptorKind::named_pipe : kind;
}

}  // namespace host
