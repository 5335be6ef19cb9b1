// The /proc/PID/net socket tables of every network namespace a visible process uses.
#include "linux/net/socket_tables.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "linux/net/dual_stack.h"
#include "linux/net/unix_diag.h"
#include "linux/procfs/procfs.h"
#include "linux/text_file.h"

namespace host {
namespace {

struct TableFile {
    const char *name;  // under /proc/PID/net
    SocketType type;
    int protocol;
};
constexpr TableFile kTcp[] = {{"tcp", SocketType::stream, 6}, {"tcp6", SocketType::stream, 6}};
constexpr TableFile kUdp[] = {{"udp", SocketType::dgram, 17}, {"udp6", SocketType::dgram, 17}};
constexpr TableFile kLocal[] = {{"unix", SocketType::unknown, 0}};

std::span<const TableFile> tables_of(SocketTables which) {
    switch (which) {
    case SocketTables::tcp:
        return kTcp;
    case SocketTables::udp:
        return kUdp;
    case SocketTables::local:
        break;
    }
    return kLocal;
}

// The namespace a /proc/PID/ns/net link names ("net:[4026531840]"), or 0.
uint64_t net_namespace(const char *pid_dir) {
    char path[64], link[64];
    std::snprintf(path, sizeof(path), "%s/ns/net", pid_dir);
    ssize_t n = readlink(path, link, sizeof(link));
    if (n <= 0)
        return 0;
    std::string_view text(link, static_cast<size_t>(n));
    size_t open = text.find('[');
    return open == std::string_view::npos ? 0 : to_ull(text.substr(open + 1, text.size() - open - 2));
}

// "/proc/self", then "/proc/PID" for one process of each other namespace.
std::vector<std::string> namespace_dirs() {
    std::vector<std::string> dirs{"/proc/self"};
    std::vector<uint64_t> seen{net_namespace("/proc/self")};
    std::vector<int> pids;
    list_pids(pids);
    char dir[32];
    for (int pid : pids) {
        std::snprintf(dir, sizeof(dir), "/proc/%d", pid);
        uint64_t ns = net_namespace(dir);
        if (ns == 0 || std::find(seen.begin(), seen.end(), ns) != seen.end())
            continue;
        seen.push_back(ns);
        dirs.emplace_back(dir);
    }
    return dirs;
}

bool unspecified(const uint8_t (&addr)[16]) {
    return std::all_of(std::begin(addr), std::end(addr), [](uint8_t b) { return b == 0; });
}

void parse_table(std::string_view text, const TableFile &table, std::vector<SocketFacts> &out) {
    bool local = table.type == SocketType::unknown;
    next_line(text);  // the header
    while (!text.empty()) {
        std::string_view line = next_line(text);
        SocketFacts s;
        if (local ? !parse_unix_line(line, s) : !parse_inet_line(line, s))
            continue;
        if (!local) {
            s.type = table.type;
            s.protocol = table.protocol;
        }
        out.push_back(std::move(s));
    }
}

}  // namespace

int read_socket_tables(SocketTables which, std::vector<SocketFacts> &out) {
    out.clear();
    TextFile file;
    char path[96];
    std::vector<std::string> dirs = namespace_dirs();
    for (size_t i = 0; i < dirs.size(); ++i) {
        for (const TableFile &table : tables_of(which)) {
            std::snprintf(path, sizeof(path), "%s/net/%s", dirs[i].c_str(), table.name);
            if (int err = file.read(path)) {
                if (i == 0 && err != ENOENT)  // ENOENT: a protocol this kernel lacks
                    return err;
                continue;
            }
            parse_table(file.text(), table, out);
        }
    }
    if (which == SocketTables::local) {
        add_unix_peers(out);
        return 0;
    }
    // Which IPv6 sockets on the unspecified address also take IPv4: the host's socket
    // diagnostics know it for our namespace; other namespaces follow the host's default.
    bool wanted = false;
    for (const SocketFacts &s : out)
        wanted |= s.family == SocketFamily::inet6 && unspecified(s.local_addr);
    if (!wanted)
        return 0;
    DualStackSockets dual;
    read_dual_stack(which == SocketTables::tcp ? 6 : 17, dual);
    for (SocketFacts &s : out)
        if (s.family == SocketFamily::inet6 && unspecified(s.local_addr))
            s.dual_stack = dual.is_dual_stack(s.inode);
    return 0;
}

}  // namespace host
