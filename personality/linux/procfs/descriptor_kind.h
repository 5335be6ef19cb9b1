// What a process's descriptor refers to, decided once from what /proc/PID/fd shows: the text of
// its link and, where the caller stat'ed the target, the kind of file it is. The FreeBSD side
// turns the kind into its file types (DTYPE_* for kern.file, KF_TYPE_* for kinfo_getfile).
#pragma once
#include <string_view>

#include "linux/procfs/fds.h"

namespace host {

enum class DescriptorKind {
    unknown,     // inotify, signalfd, a namespace, ...: what FreeBSD has no type for
    file,        // a path
    named_pipe,  // a path to a FIFO
    pty_master,  // the pseudo-terminal multiplexer, /dev/ptmx
    pipe,
    socket,
    eventfd,
    eventpoll,
    timerfd,
    pidfd,
    memfd,
};

// From the link text alone: the multiplexer is known by its path, a named pipe is a file.
DescriptorKind descriptor_kind(std::string_view link);
// From the link and, where it has one, the stat of its target: the multiplexer by its device
// number, a named pipe by its mode.
DescriptorKind descriptor_kind(const FileFacts &file);

}  // namespace host
