#include "arch/freebsd/socket_lists.h"

#include <sys/sysctl.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "arch/all/errors.h"

namespace {

// Enough for any list that merely grows while it is read: each retry at least doubles the room.
constexpr int kGrowingFetchAttempts = 8;

}  // namespace

int lumvik_read_growing(const char *name, MallocPtr<char> &buf, size_t &size, size_t *len) {
    for (int attempt = 0; attempt < kGrowingFetchAttempts; ++attempt) {
        *len = size;
        if (sysctlbyname(name, buf.get(), len, nullptr, 0) == 0)
            return 0;
        if (errno != ENOMEM) {
            lumvik_oserror();
            return -1;
        }
        size_t needed = 0;
        if (sysctlbyname(name, nullptr, &needed, nullptr, 0) == -1) {
            lumvik_oserror();
            return -1;
        }
        size_t grown = std::max(size * 2, needed);
        char *bigger = static_cast<char *>(std::realloc(buf.get(), grown));
        if (bigger == nullptr) {
            PyErr_NoMemory();
            return -1;
        }
        buf.release();
        buf.reset(bigger);
        size = grown;
    }
    errno = ENOMEM;  // the node outgrew every buffer
    lumvik_oserror();
    return -1;
}

PyObject *lumvik_address_tuple(int family, const void *addr, in_port_t port, bool no_port_empty) {
    if (no_port_empty && port == 0)
        return Py_BuildValue("()");
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(family, addr, text, sizeof(text));  // the families are known: it cannot fail
    return Py_BuildValue("(si)", text, ntohs(port));
}

PyObject *lumvik_local_path(const struct sockaddr_un &sun) {
    size_t most = sizeof(sun.sun_path);
    if (sun.sun_len >= 2)
        most = std::min<size_t>(sun.sun_len - 2, most);
    return PyUnicode_DecodeFSDefaultAndSize(sun.sun_path, static_cast<Py_ssize_t>(strnlen(sun.sun_path, most)));
}
