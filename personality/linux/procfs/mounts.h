// The host's mount table (/proc/self/mountinfo) and the figures statfs(2) gives for a mount.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct Mount {
    unsigned major = 0, minor = 0;  // the device of the file system; major 0 for anonymous ones
    std::string mount_point;        // unescaped
    std::string fstype;             // "ext4", "tmpfs", "fuse.sshfs", ...
    std::string source;             // unescaped
    std::string mount_options;      // per mount: "rw,nosuid,relatime"
    std::string super_options;      // per file system: "rw,size=4k"
};

// One Mount per line of mountinfo text, in its order; lines that do not parse are left out.
std::vector<Mount> parse_mountinfo(std::string_view text);
// The mount table of the calling process: 0, or the errno of the failed read.
int read_mounts(std::vector<Mount> &out);

// Whether a comma-separated option list holds this option.
bool has_option(std::string_view options, std::string_view option);

struct FsFigures {
    uint64_t fragment_size = 0, block_size = 0;  // f_frsize, f_bsize
    uint64_t blocks = 0, blocks_free = 0, blocks_available = 0;
    uint64_t files = 0, files_free = 0;
    uint64_t name_max = 0;
};
// statfs(2) of a path: 0 or its errno. It may block as long as the file system does not answer.
int read_fs_figures(const char *path, FsFigures &out);

}  // namespace host
