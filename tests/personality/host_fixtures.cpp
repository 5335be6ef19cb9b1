#include "host_fixtures.h"

#include <linux/netlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace fixtures {
namespace {

template <class Sockaddr>
BoundSocket bind_inet(int fd, Sockaddr &addr) {
    socklen_t len = sizeof(addr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        if (fd >= 0)
            close(fd);
        return {};
    }
    if constexpr (sizeof(Sockaddr) == sizeof(sockaddr_in))
        return {fd, ntohs(addr.sin_port)};
    else
        return {fd, ntohs(addr.sin6_port)};
}

BoundSocket listening(BoundSocket s) {
    if (s.fd >= 0 && listen(s.fd, 4) != 0) {
        close(s.fd);
        return {};
    }
    return s;
}

int bind_unix(int type, const std::string &path, bool abstract) {
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
    if (fd < 0 || path.size() + offset >= sizeof(addr.sun_path)) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

BoundSocket listen_tcp_loopback() {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return listening(bind_inet(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), addr));
}

BoundSocket listen_tcp6_loopback() {
    sockaddr_in6 addr = {};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    return listening(bind_inet(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0), addr));
}

BoundSocket connect_udp_loopback(uint16_t peer_port) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    BoundSocket s = bind_inet(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), addr);
    sockaddr_in peer = addr;
    peer.sin_port = htons(peer_port);
    if (s.fd >= 0 && connect(s.fd, reinterpret_cast<sockaddr *>(&peer), sizeof(peer)) != 0) {
        close(s.fd);
        return {};
    }
    return s;
}

int bind_unix_stream(const std::string &path) { return bind_unix(SOCK_STREAM, path, false); }
int bind_unix_seqpacket(const std::string &path) { return bind_unix(SOCK_SEQPACKET, path, false); }
int bind_unix_datagram(const std::string &path) { return bind_unix(SOCK_DGRAM, path, false); }
int bind_unix_abstract(const std::string &name) { return bind_unix(SOCK_DGRAM, name, true); }

bool unix_socketpair(int type, int (&fds)[2]) { return socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, fds) == 0; }

int listen_unix_stream(const std::string &path) {
    int fd = bind_unix(SOCK_STREAM, path, false);
    if (fd >= 0 && listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int connect_unix(int type, const std::string &path) {
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof(addr.sun_path)) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int accept_one(int listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

int open_netlink() { return socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE); }

}  // namespace fixtures
