#include "host_fixtures.h"

#include <linux/netlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/swap.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// 4 MiB written out (a swap file may have no holes), on the disk that holds /var/tmp.
SwapFile::SwapFile() {
    char dir[] = "/var/tmp/lumvik-swap-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        why_ = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    dir_ = dir;
    path_ = dir_ + "/swap";
    int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        why_ = std::string("open: ") + std::strerror(errno);
        return;
    }
    std::vector<char> zeros(1 << 20);
    bool written = true;
    for (int i = 0; i < 4 && written; ++i)
        written = write(fd, zeros.data(), zeros.size()) == static_cast<ssize_t>(zeros.size());
    close(fd);
    if (!written) {
        why_ = "could not write the file";
        return;
    }
    const char *argv[] = {"mkswap", "-q", path_.c_str(), nullptr};
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, "mkswap", nullptr, nullptr, const_cast<char *const *>(argv), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why_ = "mkswap failed";
        return;
    }
    if (swapon(path_.c_str(), 0) != 0) {
        why_ = std::string("swapon: ") + std::strerror(errno);
        return;
    }
    active_ = true;
}

SwapFile::~SwapFile() {
    if (active_)
        swapoff(path_.c_str());
    if (!path_.empty())
        unlink(path_.c_str());
    if (!dir_.empty())
        rmdir(dir_.c_str());
}

}  // namespace fixtures
