// getnameinfo(3) for FreeBSD's socket addresses: Internet addresses as text (the scope of a
// link-local IPv6 address after a '%', by interface name) or by the host's resolver, and
// link-level addresses as FreeBSD writes them. Failures are FreeBSD's EAI_* codes.
#include <netdb.h>

#include <net/if_dl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "linux/net/rtnetlink.h"
#include "linux/libc/names.h"

namespace {

// Copies text with its terminator when it fits.
int put(const char *text, char *out, size_t size) {
    size_t len = std::strlen(text);
    if (len >= size)
        return EAI_OVERFLOW;
    std::memcpy(out, text, len + 1);
    return 0;
}

bool link_local_scope(const struct in6_addr &a) {
    const uint8_t *b = a.s6_addr;
    return (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) || (b[0] == 0xff && ((b[1] & 0x0f) == 0x01 || (b[1] & 0x0f) == 0x02));
}

int inet_host(const struct sockaddr *sa, char *host, size_t hostlen, int flags) {
    bool v4 = sa->sa_family == AF_INET;
    host::AddrFamily family = v4 ? host::AddrFamily::inet : host::AddrFamily::inet6;
    const auto *sin = reinterpret_cast<const struct sockaddr_in *>(sa);
    const auto *sin6 = reinterpret_cast<const struct sockaddr_in6 *>(sa);
    const uint8_t *addr = v4 ? reinterpret_cast<const uint8_t *>(&sin->sin_addr) : sin6->sin6_addr.s6_addr;
    uint32_t scope = v4 ? 0 : sin6->sin6_scope_id;
    if (!(flags & NI_NUMERICHOST)) {
        char name[NI_MAXHOST];
        if (host::reverse_name(family, addr, scope, flags & NI_NOFQDN, name, sizeof(name)))
            return put(name, host, hostlen);
        if (flags & NI_NAMEREQD)
            return EAI_NONAME;
    }
    char text[NI_MAXHOST];
    if (!host::format_address(family, addr, text, sizeof(text)))
        return EAI_FAIL;
    if (scope != 0) {
        char ifname[16];
        size_t len = std::strlen(text);
        if (link_local_scope(sin6->sin6_addr) && !(flags & NI_NUMERICSCOPE) && host::interface_name(static_cast<int>(scope), ifname))
            std::snprintf(text + len, sizeof(text) - len, "%%%s", ifname);
        else
            std::snprintf(text + len, sizeof(text) - len, "%%%u", scope);
    }
    return put(text, host, hostlen);
}

int inet_service(const struct sockaddr *sa, char *serv, size_t servlen, int flags) {
    const auto *sin = reinterpret_cast<const struct sockaddr_in *>(sa);  // the port is at the same place in both
    uint16_t port = static_cast<uint16_t>((reinterpret_cast<const uint8_t *>(&sin->sin_port)[0] << 8) |
                                          reinterpret_cast<const uint8_t *>(&sin->sin_port)[1]);
    char text[NI_MAXSERV];
    if (!(flags & NI_NUMERICSERV) && host::service_name(port, flags & NI_DGRAM, text, sizeof(text)))
        return put(text, serv, servlen);
    std::snprintf(text, sizeof(text), "%u", port);
    return put(text, serv, servlen);
}

// FreeBSD's forms: "link#N" for an address without name or bytes, the name for one without
// bytes, else the bytes in lower-case hexadecimal pairs joined by colons.
int link_host(const struct sockaddr_dl *sdl, socklen_t salen, char *host, size_t hostlen) {
    if (salen < offsetof(struct sockaddr_dl, sdl_data) ||
        offsetof(struct sockaddr_dl, sdl_data) + sdl->sdl_nlen + sdl->sdl_alen > salen)
        return EAI_FAIL;
    char text[NI_MAXHOST];
    if (sdl->sdl_nlen == 0 && sdl->sdl_alen == 0 && sdl->sdl_slen == 0) {
        std::snprintf(text, sizeof(text), "link#%u", sdl->sdl_index);
    } else if (sdl->sdl_alen == 0) {
        std::memcpy(text, sdl->sdl_data, sdl->sdl_nlen);
        text[sdl->sdl_nlen] = '\0';
    } else {
        const auto *bytes = reinterpret_cast<const uint8_t *>(sdl->sdl_data + sdl->sdl_nlen);
        for (int i = 0; i < sdl->sdl_alen; ++i)
            std::snprintf(text + 3 * i, 4, "%02x:", bytes[i]);
        text[3 * sdl->sdl_alen - 1] = '\0';
    }
    return put(text, host, hostlen);
}

}  // namespace

int getnameinfo(const struct sockaddr *sa, socklen_t salen, char *host, size_t hostlen, char *serv, size_t servlen,
                int flags) {
    return without_exceptions<int>(EAI_MEMORY, [&]() -> int {
        control::Outcome o = control::consult("getnameinfo", {}, true);
        if (o.action == control::Action::fail)
            return o.err;
        if (sa == nullptr || salen < offsetof(struct sockaddr, sa_data))
            return EAI_FAIL;
        bool want_host = host != nullptr && hostlen > 0, want_serv = serv != nullptr && servlen > 0;
        if (!want_host && !want_serv)
            return EAI_NONAME;
        switch (sa->sa_family) {
        case AF_INET:
        case AF_INET6: {
            if (salen < (sa->sa_family == AF_INET ? sizeof(struct sockaddr_in) : sizeof(struct sockaddr_in6)))
                return EAI_FAIL;
            int err = want_host ? inet_host(sa, host, hostlen, flags) : 0;
            return err != 0 || !want_serv ? err : inet_service(sa, serv, servlen, flags);
        }
        case AF_LINK:
            if (want_serv)
                *serv = '\0';
            return want_host ? link_host(reinterpret_cast<const struct sockaddr_dl *>(sa), salen, host, hostlen) : 0;
        default:
            return EAI_FAMILY;
        }
    });
}
