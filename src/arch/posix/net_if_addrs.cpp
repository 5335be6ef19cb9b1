// Every address of every interface, from the interface address list.
#include "arch/posix/net_if.h"

#include <sys/types.h>
#include <sys/socket.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_dl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstddef>
#include <memory>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/str.h"

namespace {

struct FreeIfaddrs {
    void operator()(struct ifaddrs *list) const { freeifaddrs(list); }
};
using IfaddrsList = std::unique_ptr<struct ifaddrs, FreeIfaddrs>;

PyObject *link_address_text(const struct sockaddr_dl *sdl) {
    if (sdl->sdl_alen == 0)
        Py_RETURN_NONE;
    // The bytes must lie within the address itself, whatever its header claims.
    if (offsetof(struct sockaddr_dl, sdl_data) + sdl->sdl_nlen + sdl->sdl_alen > sdl->sdl_len)
        Py_RETURN_NONE;
    char text[NI_MAXHOST];
    const auto *bytes = reinterpret_cast<const unsigned char *>(sdl->sdl_data + sdl->sdl_nlen);
    for (int i = 0; i < sdl->sdl_alen; ++i)
        str_format(text + 3 * i, 8, "%02x:", bytes[i]);
    text[3 * sdl->sdl_alen - 1] = '\0';
    return PyUnicode_FromString(text);
}

}  // namespace

PyObject *lumvik_convert_ipaddr(const struct sockaddr *addr, int family) {
    if (addr == nullptr)
        Py_RETURN_NONE;
    if (family == AF_INET || family == AF_INET6) {
        char host[NI_MAXHOST] = {};
        socklen_t len = family == AF_INET ? sizeof(struct sockaddr_in) : sizeof(struct sockaddr_in6);
        if (getnameinfo(addr, len, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) != 0)
            Py_RETURN_NONE;
        return Py_BuildValue("s", host);
    }
    if (addr->sa_family == AF_LINK)
        return link_address_text(reinterpret_cast<const struct sockaddr_dl *>(addr));
    Py_RETURN_NONE;
}

PyObject *lumvik_net_if_addrs(PyObject *, PyObject *) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    struct ifaddrs *raw = nullptr;
    if (getifaddrs(&raw) == -1)
        return lumvik_oserror();
    IfaddrsList addrs(raw);
    for (struct ifaddrs *ifa = addrs.get(); ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr)
            continue;
        int family = ifa->ifa_addr->sa_family;
        PyRef address(lumvik_convert_ipaddr(ifa->ifa_addr, family));
        if (!address)
            return nullptr;
        if (address.get() == Py_None)
            continue;
        PyRef netmask(lumvik_convert_ipaddr(ifa->ifa_netmask, family));
        if (!netmask)
            return nullptr;
        // A broadcast link's other address is its broadcast address, whatever else it claims.
        bool broadcast = ifa->ifa_flags & IFF_BROADCAST;
        bool peer = !broadcast && (ifa->ifa_flags & IFF_POINTOPOINT);
        PyRef broadaddr(broadcast ? lumvik_convert_ipaddr(ifa->ifa_broadaddr, family) : Py_NewRef(Py_None));
        if (!broadaddr)
            return nullptr;
        PyRef dstaddr(peer ? lumvik_convert_ipaddr(ifa->ifa_dstaddr, family) : Py_NewRef(Py_None));
        if (!dstaddr)
            return nullptr;
        // Names are kernel text: a name that is not UTF-8 is kept (escaped), not a failure of the whole call.
        PyRef name(PyUnicode_DecodeFSDefault(ifa->ifa_name));
        if (!name)
            return nullptr;
        PyRef item(Py_BuildValue("(OiOOOO)", name.get(), family, address.get(), netmask.get(), broadaddr.get(),
                                 dstaddr.get()));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}
