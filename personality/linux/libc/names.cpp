// The host's resolver and name calls: getnameinfo(3), getservbyport_r(3), if_indextoname(3).
#include "linux/libc/names.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace host {

bool reverse_name(AddrFamily family, const uint8_t *addr, uint32_t scope_id, bool nofqdn, char *out, size_t size) {
    sockaddr_storage ss{};
    socklen_t len;
    if (family == AddrFamily::inet) {
        auto *sin = reinterpret_cast<sockaddr_in *>(&ss);
        sin->sin_family = AF_INET;
        std::memcpy(&sin->sin_addr, addr, 4);
        len = sizeof(*sin);
    } else {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(&ss);
        sin6->sin6_family = AF_INET6;
        std::memcpy(&sin6->sin6_addr, addr, 16);
        sin6->sin6_scope_id = scope_id;
        len = sizeof(*sin6);
    }
    int flags = NI_NAMEREQD | (nofqdn ? NI_NOFQDN : 0);
    return getnameinfo(reinterpret_cast<sockaddr *>(&ss), len, out, static_cast<socklen_t>(size), nullptr, 0,
                       flags) == 0;
}

bool service_name(uint16_t port, bool datagram, char *out, size_t size) {
    servent entry, *found = nullptr;
    char buf[1024];
    if (getservbyport_r(htons(port), datagram ? "udp" : "tcp", &entry, buf, sizeof(buf), &found) != 0 ||
        found == nullptr)
        return false;
    size_t len = std::strlen(found->s_name);
    if (len >= size)
        return false;
    std::memcpy(out, found->s_name, len + 1);
    return true;
}

bool interface_name(int index, char (&name)[16]) {
    static_assert(IF_NAMESIZE == 16);
    return index > 0 && if_indextoname(static_cast<unsigned>(index), name) != nullptr;
}

bool format_address(AddrFamily family, const uint8_t *addr, char *out, size_t size) {
    return inet_ntop(family == AddrFamily::inet ? AF_INET : AF_INET6, addr, out, static_cast<socklen_t>(size)) !=
           nullptr;
}

}  // namespace host
