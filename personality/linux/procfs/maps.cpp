// /proc/PID/smaps parsed mapping by mapping.
#include "linux/procfs/maps.h"

#include <sys/sysmacros.h>

#include <cerrno>

#include "linux/procfs/process_dir.h"

namespace host {
namespace {

// "55d0c4a2f000-55d0c4a31000 r--p 00000000 fe:00 260386    /usr/bin/cat"
bool parse_header(std::string_view line, MapEntry &e) {
    std::string_view rest = line;
    std::string_view range = next_field(rest), perms = next_field(rest), offset = next_field(rest),
                     dev = next_field(rest), inode = next_field(rest);
    size_t dash = range.find('-'), colon = dev.find(':');
    if (dash == std::string_view::npos || colon == std::string_view::npos || perms.size() < 4 || inode.empty())
        return false;
    e.start = to_ull(range.substr(0, dash), 16);
    e.end = to_ull(range.substr(dash + 1), 16);
    e.read = perms[0] == 'r';
    e.write = perms[1] == 'w';
    e.exec = perms[2] == 'x';
    e.shared = perms[3] == 's';
    e.offset = to_ull(offset, 16);
    e.dev = makedev(static_cast<unsigned>(to_ull(dev.substr(0, colon), 16)),
                    static_cast<unsigned>(to_ull(dev.substr(colon + 1), 16)));
    e.inode = to_ull(inode);
    size_t name = rest.find_first_not_of(' ');
    e.name = name == std::string_view::npos ? std::string_view() : rest.substr(name);
    constexpr std::string_view deleted = " (deleted)";
    if (e.name.ends_with(deleted)) {
        e.name.remove_suffix(deleted.size());
        e.deleted = true;
    }
    return true;
}

}  // namespace

void parse_smaps(std::string_view text, std::vector<MapEntry> &out) {
    out.clear();
    MapEntry *entry = nullptr;
    while (!text.empty()) {
        std::string_view line = next_line(text);
        size_t space = line.find(' ');
        std::string_view first = line.substr(0, space);
        if (!first.ends_with(':')) {  // a mapping's header line opens its block
            MapEntry e;
            entry = parse_header(line, e) ? &out.emplace_back(e) : nullptr;
            continue;
        }
        if (entry == nullptr)
            continue;
        std::string_view key = first.substr(0, first.size() - 1);
        std::string_view value = space == std::string_view::npos ? std::string_view() : line.substr(space);
        if (key == "Rss")
            entry->rss_kb = to_ull(next_field(value));
        else if (key == "Private_Clean")
            entry->private_clean_kb = to_ull(next_field(value));
        else if (key == "Private_Dirty")
            entry->private_dirty_kb = to_ull(next_field(value));
        else if (key == "VmFlags") {
            size_t start = value.find_first_not_of(' ');
            size_t stop = value.find_last_not_of(' ');
            entry->vm_flags = start == std::string_view::npos ? std::string_view() : value.substr(start, stop - start + 1);
        }
    }
}

int read_memory_map(int pid, MemoryMap &out) {
    ProcessDir proc;
    if (int err = proc.open(pid))
        return err;
    if (int err = proc.read("smaps", out.text))
        return err;
    if (out.text.text().empty()) {
        // Nothing mapped: a kernel thread; a process whose main thread exited, whose map a
        // running thread shows; or an exiting process.
        if (proc.follow_running_thread()) {
            if (int err = proc.read("smaps", out.text))
                return err;
        } else {
            out.state = proc.state();
        }
    }
    parse_smaps(out.text.text(), out.entries);
    return 0;
}

}  // namespace host
