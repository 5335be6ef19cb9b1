// The host's inet_ntop(3) for an Internet address given as bytes.
#include "linux/libc/address_text.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>

namespace host {

int address_text(bool ipv6, const void *addr, char *text, size_t size) {
    if (inet_ntop(ipv6 ? AF_INET6 : AF_INET, addr, text, static_cast<socklen_t>(size)) == nullptr)
        return errno;
    return 0;
}

}  // namespace host
