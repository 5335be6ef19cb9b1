// The host's socket tables (/proc/PID/net/{tcp,tcp6,udp,udp6,udplite,udplite6,raw,raw6,unix}),
// looked up by socket inode.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class SocketFamily : uint8_t { unknown, local, inet, inet6 };
enum class SocketType : uint8_t { unknown, stream, dgram, raw, seqpacket };

struct SocketFacts {
    uint64_t inode = 0;
    SocketFamily family = SocketFamily::unknown;
    SocketType type = SocketType::unknown;
    int protocol = 0;                         // IANA protocol number; 0 for local sockets
    uint8_t local_addr[16] = {};              // as on the wire; IPv4 takes the first 4 bytes
    uint8_t peer_addr[16] = {};
    uint16_t local_port = 0, peer_port = 0;   // port numbers, not in network order
    int state = 0;                            // Linux's state number (TCP: its TCP_* numbering; unix: SS_*)
    bool listening = false;                   // local sockets: __SO_ACCEPTCON in the Flags column
    uint32_t send_queue = 0, receive_queue = 0;
    uint32_t uid = 0;                         // owner: the uid column; local sockets: the diagnostics
    std::string path;                         // local sockets: the bound name; abstract ones start with '\0'
    bool dual_stack = false;                  // IPv6 on the unspecified address, taking IPv4 too (read_socket_tables)
    uint64_t peer_inode = 0;                  // local sockets of our namespace: the peer's inode (0: none, or unknown)
    std::string peer_path;                    // and the peer's bound name, as path
    uint64_t vfs_inode = 0, vfs_device = 0;   // local sockets of our namespace: the socket file of a path name
};

// One line (not the header) of /proc/net/{tcp,udp,raw,...}{,6}: addresses, ports, state,
// queues, owner and inode (0 for a connection without a socket); the family follows from the
// address width. Type and protocol are the table's. False for a line that does not parse.
bool parse_inet_line(std::string_view line, SocketFacts &out);
// One line (not the header) of /proc/net/unix.
bool parse_unix_line(std::string_view line, SocketFacts &out);
// One line of the table of this name ("tcp", "udp6", "raw", "unix", ...) with the table's type
// and protocol (a raw socket's from its port column); false for a line that does not parse
// or a table of another name.
bool parse_table_line(std::string_view table, std::string_view line, SocketFacts &out);

struct SocketTable {
    std::vector<SocketFacts> sockets;  // by ascending inode
    const SocketFacts *find(uint64_t inode) const;
};

// The sockets with these inodes (ascending, no repeats), from the tables of the network
// namespace of pid; sockets no table lists (netlink, packet, ...) are left out. Tables are read
// only until every inode is found. Local sockets of our own namespace carry their peers.
void read_sockets(int pid, std::span<const uint64_t> inodes, SocketTable &out);

}  // namespace host
