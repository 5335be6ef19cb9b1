// Sockets and swap files a test makes with the host's own API for the personality to find. They live in a
// translation unit of their own: in the tests', the FreeBSD headers stand in for the host's
// <sys/socket.h>.
#pragma once
#include <cstdint>
#include <string>

namespace fixtures {

struct BoundSocket {
    int fd = -1;        // -1 when the host refused
    uint16_t port = 0;  // the port the kernel chose
};

// A TCP socket listening on 127.0.0.1, or on ::1.
BoundSocket listen_tcp_loopback();
BoundSocket listen_tcp6_loopback();
// A UDP socket on 127.0.0.1 connected to 127.0.0.1:peer_port.
BoundSocket connect_udp_loopback(uint16_t peer_port);
// A unix-domain socket of the host's type SOCK_STREAM (or SOCK_SEQPACKET) bound to path.
int bind_unix_stream(const std::string &path);
int bind_unix_seqpacket(const std::string &path);
int bind_unix_datagram(const std::string &path);
// A unix-domain datagram socket bound to an abstract name (given without its leading NUL).
int bind_unix_abstract(const std::string &name);
// Unix-domain sockets joined to each other. The type numbers SOCK_STREAM, SOCK_DGRAM and
// SOCK_SEQPACKET are the same on both systems. -1 (or false) when the host refused.
bool unix_socketpair(int type, int (&fds)[2]);
int listen_unix_stream(const std::string &path);
int connect_unix(int type, const std::string &path);
int accept_one(int listener);
// A netlink socket: a kind the host's socket tables do not list.
int open_netlink();

// A small swap file in a temporary directory, made a swap area (mkswap) and switched on;
// switched off and removed again when it goes, however the test ends. Where the host refuses
// (no privilege, a file system that takes no swap), active() is false and why() says so.
class SwapFile {
public:
    SwapFile();
    ~SwapFile();
    SwapFile(const SwapFile &) = delete;
    SwapFile &operator=(const SwapFile &) = delete;

    bool active() const { return active_; }
    const std::string &path() const { return path_; }
    const std::string &why() const { return why_; }

private:
    std::string dir_, path_, why_;
    bool active_ = false;
};

}  // namespace fixtures
