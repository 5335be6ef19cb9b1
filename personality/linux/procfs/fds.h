// The open files of a host process as /proc/PID shows them: each descriptor's link text, the
// stat of what it names and its fdinfo; the executable, the working and root directories and
// the controlling terminal.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/procfs/process_state.h"

namespace host {

// Linux's file kinds (st_mode) and open flags (fdinfo "flags") on x86-64, spelled out so that
// readers of these facts need not include the host's headers; fds.cpp checks them against those.
namespace linux_mode {
constexpr uint32_t kind_mask = 0170000;
constexpr uint32_t socket = 0140000, symlink = 0120000, regular = 0100000, block_device = 060000,
                   directory = 040000, char_device = 020000, fifo = 010000;
}  // namespace linux_mode
namespace linux_open {
constexpr uint32_t access_mask = 03, read_only = 0, write_only = 01, read_write = 02;
constexpr uint32_t append = 02000, nonblock = 04000, dsync = 010000, async = 020000, direct = 040000,
                   nofollow = 0400000, sync = 04010000,  // O_SYNC includes O_DSYNC's bit
                   path = 010000000;
}  // namespace linux_open

// A file a process holds, as a /proc/PID link (fd/N, exe, cwd, root) names it.
struct FileFacts {
    std::string link;        // a path, or "pipe:[N]", "socket:[N]", "anon_inode:[eventfd]", ...
    bool deleted = false;    // unlinked: the link's " (deleted)" is cut off and no name is left
    bool has_stat = false;   // the fields below are valid
    uint32_t mode = 0;       // st_mode, a linux_mode kind and permissions
    uint64_t dev = 0, ino = 0, rdev = 0, nlink = 0;
    int64_t size = 0;
    bool pty_master = false; // the pseudo-terminal multiplexer (/dev/ptmx)
};

// /proc/PID/fdinfo/N.
struct FdInfo {
    uint32_t flags = 0;   // open flags (linux_open)
    int64_t pos = 0;      // file position
    std::optional<uint64_t> eventfd_count;
    std::optional<int> pidfd_pid;  // the process a pidfd refers to; -1 once it has been reaped
    int tty_index = -1;            // the terminal a pty master opened (/dev/pts/N)
};
void parse_fdinfo(std::string_view text, FdInfo &out);

struct Descriptor {
    int fd = -1;
    FileFacts file;
    bool has_info = false;  // info is valid
    FdInfo info;
    uint64_t pty_slave_rdev = 0;  // a pty master's terminal device, when tty_index is known
};

struct ProcessFiles {
    ProcessState state = ProcessState::alive;  // exited: the files are released, nothing else is filled in
    std::optional<FileFacts> text, ctty, cwd, root;  // absent where the host cannot name them
    std::vector<Descriptor> descriptors;             // by ascending number
};

// 0; ESRCH for a pid that is not a process; or the host's errno (EACCES) when it refuses.
int read_process_files(int pid, ProcessFiles &out);

// The device path of a terminal given as stat's tty_nr; empty when no name is known.
std::string terminal_path(uint32_t tty_nr);

// The number of a link text such as "socket:[1234]"; 0 when it has none.
uint64_t link_inode(std::string_view link);

}  // namespace host
