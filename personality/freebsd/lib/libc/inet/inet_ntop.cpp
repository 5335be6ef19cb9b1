// FreeBSD's inet_ntop(3), with FreeBSD's family numbers (AF_INET6 is 28).
#include <arpa/inet.h>

#include <cerrno>

#include "freebsd/c_interface.h"
#include "linux/libc/address_text.h"

const char *inet_ntop(int af, const void *src, char *dst, socklen_t size) {
    return without_exceptions<const char *>(nullptr, [&]() -> const char * {
        if (af != AF_INET && af != AF_INET6) {
            errno = EAFNOSUPPORT;
            return nullptr;
        }
        if (int err = host::address_text(af == AF_INET6, src, dst, size)) {
            errno = err;
            return nullptr;
        }
        return dst;
    });
}
