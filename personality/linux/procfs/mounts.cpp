// /proc/self/mountinfo parsed (proc(5)), and statfs(2) of one mount.
#include "linux/procfs/mounts.h"

#include <sys/statfs.h>

#include <cerrno>

#include "linux/text_file.h"

namespace host {
namespace {

// mountinfo writes space, tab, newline and backslash in names as a backslash and three octal digits.
std::string unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            std::string_view digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string_view::npos) {
                out.push_back(static_cast<char>(to_ull(digits, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
bool parse_line(std::string_view line, Mount &out) {
    next_field(line);  // mount id
    next_field(line);  // parent id
    std::string_view device = next_field(line);
    next_field(line);  // root within the file system
    std::string_view point = next_field(line);
    std::string_view options = next_field(line);
    std::string_view tag;
    while (!(tag = next_field(line)).empty() && tag != "-") {  // optional fields up to the separator
    }
    if (tag != "-")
        return false;
    std::string_view fstype = next_field(line);
    std::string_view source = next_field(line);
    std::string_view super = next_field(line);
    size_t colon = device.find(':');
    if (point.empty() || fstype.empty() || colon == std::string_view::npos)
        return false;
    out.major = static_cast<unsigned>(to_ull(device.substr(0, colon)));
    out.minor = static_cast<unsigned>(to_ull(device.substr(colon + 1)));
    out.mount_point = unescape(point);
    out.fstype = unescape(fstype);
    out.source = unescape(source);
    out.mount_options = std::string(options);
    out.super_options = std::string(super);
    return true;
}

}  // namespace

std::vector<Mount> parse_mountinfo(std::string_view text) {
    std::vector<Mount> mounts;
    while (!text.empty()) {
        Mount m;
        if (parse_line(next_line(text), m))
            mounts.push_back(std::move(m));
    }
    return mounts;
}

int read_mounts(std::vector<Mount> &out) {
    TextFile file;
    if (int err = file.read("/proc/self/mountinfo"))
        return err;
    out = parse_mountinfo(file.text());
    return 0;
}

bool has_option(std::string_view options, std::string_view option) {
    while (!options.empty()) {
        size_t comma = options.find(',');
        if (options.substr(0, comma) == option)
            return true;
        options.remove_prefix(comma == std::string_view::npos ? options.size() : comma + 1);
    }
    return false;
}

int read_fs_figures(const char *path, FsFigures &out) {
    struct statfs st;
    if (statfs(path, &st) != 0)
        return errno;
    out.fragment_size = static_cast<uint64_t>(st.f_frsize);
    out.block_size = static_cast<uint64_t>(st.f_bsize);
    out.blocks = st.f_blocks;
    out.blocks_free = st.f_bfree;
    out.blocks_available = st.f_bavail;
    out.files = st.f_files;
    out.files_free = st.f_ffree;
    out.name_max = static_cast<uint64_t>(st.f_namelen);
    return 0;
}

}  // namespace host
