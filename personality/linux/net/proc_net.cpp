// The /proc/net socket tables (tcp, tcp6, udp, udp6, udplite, raw, unix, ...) parsed line by line.
#include "linux/net/proc_net.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "linux/net/unix_diag.h"
#include "linux/procfs/process_dir.h"
#include "linux/text_file.h"

namespace host {
namespace {

template <class T>
bool hex(std::string_view field, T &value) {
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
    return ec == std::errc() && end == field.data() + field.size();
}

// The n-th whitespace-separated field of a line, counted from 0.
std::string_view field_at(std::string_view line, int n) {
    std::string_view field;
    for (int i = 0; i <= n; ++i)
        field = next_field(line);
    return field;
}

// "0100007F:1F90": the kernel prints each 32-bit word of the address with %08X as the host
// holds it, so storing the words back in host order gives the bytes as on the wire.
bool parse_endpoint(std::string_view text, uint8_t (&addr)[16], uint16_t &port, SocketFamily &family) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || (colon != 8 && colon != 32))
        return false;
    for (size_t word = 0; word < colon / 8; ++word) {
        uint32_t value;
        if (!hex(text.substr(word * 8, 8), value))
            return false;
        std::memcpy(addr + word * 4, &value, 4);
    }
    family = colon == 8 ? SocketFamily::inet : SocketFamily::inet6;
    return hex(text.substr(colon + 1), port);
}

// "00000000:00000000": two hexadecimal byte counts.
void parse_queues(std::string_view text, uint32_t &send, uint32_t &receive) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return;
    hex(text.substr(0, colon), send);
    hex(text.substr(colon + 1), receive);
}

// Linux's socket types as /proc/net/unix prints them.
struct LinuxSocketType {
    unsigned linux_type;
    SocketType type;
};
constexpr LinuxSocketType kLinuxSocketTypes[] = {
    {1, SocketType::stream}, {2, SocketType::dgram}, {3, SocketType::raw}, {5, SocketType::seqpacket},
};

SocketType linux_socket_type(unsigned linux_type) {
    for (const LinuxSocketType &t : kLinuxSocketTypes)
        if (t.linux_type == linux_type)
            return t.type;
    return SocketType::unknown;
}

struct Table {
    const char *name;  // under /proc/PID/net
    bool unix_table;
    SocketType type;
    int protocol;
    bool port_is_protocol;  // raw sockets show their protocol in the local port's place
};
constexpr Table kTables[] = {
    {"unix", true, SocketType::unknown, 0, false},
    {"tcp", false, SocketType::stream, 6, false},
    {"tcp6", false, SocketType::stream, 6, false},
    {"udp", false, SocketType::dgram, 17, false},
    {"udp6", false, SocketType::dgram, 17, false},
    {"udplite", false, SocketType::dgram, 136, false},
    {"udplite6", false, SocketType::dgram, 136, false},
    {"raw", false, SocketType::raw, 0, true},
    {"raw6", false, SocketType::raw, 0, true},
};
constexpr int kInetUidField = 7, kInetInodeField = 9, kUnixInodeField = 6;

// The table as the process's network namespace shows it, else as ours does.
int read_table(const ProcessDir &proc, bool opened, const char *name, TextFile &file) {
    char path[64];
    std::snprintf(path, sizeof(path), "net/%s", name);
    if (opened && proc.read(path, file) == 0)
        return 0;
    std::snprintf(path, sizeof(path), "/proc/net/%s", name);  // the process ended: our namespace
    return file.read(path);
}

}  // namespace

bool parse_inet_line(std::string_view line, SocketFacts &out) {
    std::string_view rest = line;
    next_field(rest);  // "sl:"
    if (!parse_endpoint(next_field(rest), out.local_addr, out.local_port, out.family))
        return false;
    SocketFamily peer_family;
    if (!parse_endpoint(next_field(rest), out.peer_addr, out.peer_port, peer_family) || peer_family != out.family)
        return false;
    if (!hex(next_field(rest), out.state))
        return false;
    parse_queues(next_field(rest), out.send_queue, out.receive_queue);
    // A connection without a socket (a request, TIME_WAIT) has inode 0 and is kept.
    std::string_view inode = field_at(rest, kInetInodeField - 5);
    if (inode.empty())
        return false;
    out.inode = to_ull(inode);
    out.uid = static_cast<uint32_t>(to_ull(field_at(rest, kInetUidField - 5)));
    return true;
}

bool parse_unix_line(std::string_view line, SocketFacts &out) {
    std::string_view rest = line;
    std::string_view f[kUnixInodeField + 1];
    for (std::string_view &field : f)
        field = next_field(rest);
    unsigned type = 0, flags = 0;
    if (f[kUnixInodeField].empty() || !hex(f[4], type) || !hex(f[5], out.state))
        return false;
    constexpr unsigned kAcceptCon = 0x10000;  // Linux's __SO_ACCEPTCON: listen() was called
    out.listening = hex(f[3], flags) && (flags & kAcceptCon);
    out.family = SocketFamily::local;
    out.type = linux_socket_type(type);
    out.inode = to_ull(f[kUnixInodeField]);
    // The path follows the inode after one space; '@' opens an abstract name.
    out.path.clear();
    if (rest.size() > 1) {
        out.path.assign(rest.substr(1));
        if (out.path[0] == '@')
            out.path[0] = '\0';
    }
    return out.inode != 0;
}

namespace {

bool parse_line(const Table &table, std::string_view line, SocketFacts &out) {
    if (table.unix_table)
        return parse_unix_line(line, out);
    if (!parse_inet_line(line, out))
        return false;
    out.type = table.type;
    out.protocol = table.port_is_protocol ? out.local_port : table.protocol;
    if (table.port_is_protocol)
        out.local_port = 0;
    return true;
}

}  // namespace

bool parse_table_line(std::string_view table, std::string_view line, SocketFacts &out) {
    for (const Table &t : kTables)
        if (table == t.name)
            return parse_line(t, line, out);
    return false;
}

const SocketFacts *SocketTable::find(uint64_t inode) const {
    auto it = std::lower_bound(sockets.begin(), sockets.end(), inode,
                               [](const SocketFacts &s, uint64_t ino) { return s.inode < ino; });
    return it != sockets.end() && it->inode == inode ? &*it : nullptr;
}

void read_sockets(int pid, std::span<const uint64_t> inodes, SocketTable &out) {
    out.sockets.clear();
    std::vector<bool> found(inodes.size());
    TextFile file;
    ProcessDir proc;
    bool opened = proc.open_task(pid, 0) == 0;
    for (const Table &table : kTables) {
        if (out.sockets.size() == inodes.size())
            break;
        if (read_table(proc, opened, table.name, file) != 0)
            continue;  // a protocol this kernel lacks
        std::string_view text = file.text();
        next_line(text);  // the header
        while (!text.empty()) {
            std::string_view line = next_line(text);
            uint64_t inode = to_ull(field_at(line, table.unix_table ? kUnixInodeField : kInetInodeField));
            auto it = std::lower_bound(inodes.begin(), inodes.end(), inode);
            if (it == inodes.end() || *it != inode || found[it - inodes.begin()])
                continue;
            SocketFacts s;
            if (!parse_line(table, line, s))
                continue;
            found[it - inodes.begin()] = true;
            out.sockets.push_back(std::move(s));
        }
    }
    std::sort(out.sockets.begin(), out.sockets.end(),
              [](const SocketFacts &a, const SocketFacts &b) { return a.inode < b.inode; });
    add_unix_peers(out.sockets);
}

}  // namespace host
