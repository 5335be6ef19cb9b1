#include "arch/freebsd/net_io.h"

#include <sys/types.h>
#include <sys/socket.h>
#include <sys/sysctl.h>
#include <net/if.h>
#include <net/if_dl.h>
#include <net/route.h>

#include <cstddef>
#include <cstring>

#include "arch/all/owned.h"
#include "arch/posix/sysctl.h"

namespace {

constexpr size_t kNameBuffer = 32;
constexpr size_t kNameOffset = sizeof(struct if_msghdr) + offsetof(struct sockaddr_dl, sdl_data);

// The interface's name, cut to the name buffer and to the message that carries it.
void interface_name(const char *msg, size_t msglen, char (&name)[kNameBuffer]) {
    u_char nlen = static_cast<u_char>(msg[sizeof(struct if_msghdr) + offsetof(struct sockaddr_dl, sdl_nlen)]);
    size_t len = nlen;
    if (len > kNameBuffer - 1)
        len = kNameBuffer - 1;
    if (len > msglen - kNameOffset)
        len = msglen - kNameOffset;
    std::memcpy(name, msg + kNameOffset, len);
    name[len] = '\0';
}

}  // namespace

PyObject *lumvik_net_io_counters(PyObject *, PyObject *) {
    PyRef counters(PyDict_New());
    if (!counters)
        return nullptr;
    int mib[] = {CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST, 0};
    MallocPtr<char> buf;
    size_t len = 0;
    if (sysctl_malloc_owned(mib, 6, buf, &len) != 0)
        return nullptr;
    // Each message begins with its length and type. A message of length 0, or one that runs
    // past the end of the list, ends the walk; an interface message too short to carry its
    // link address is stepped over.
    for (size_t pos = 0; pos + offsetof(struct if_msghdr, ifm_addrs) <= len;) {
        const char *msg = buf.get() + pos;
        struct if_msghdr ifm;
        std::memcpy(&ifm, msg, offsetof(struct if_msghdr, ifm_addrs));
        if (ifm.ifm_msglen == 0 || ifm.ifm_msglen > len - pos)
            break;
        pos += ifm.ifm_msglen;
        if (ifm.ifm_type != RTM_IFINFO || ifm.ifm_msglen < kNameOffset)
            continue;
        std::memcpy(&ifm, msg, sizeof(ifm));
        char name[kNameBuffer];
        interface_name(msg, ifm.ifm_msglen, name);
        if (std::strncmp(name, "usbus", 5) == 0)
            continue;
        const struct if_data &d = ifm.ifm_data;
        PyRef tuple(Py_BuildValue("(kkkkkkki)", d.ifi_obytes, d.ifi_ibytes, d.ifi_opackets, d.ifi_ipackets,
                                  d.ifi_ierrors, d.ifi_oerrors, d.ifi_iqdrops, 0));
        // Names are kernel text: a name that is not UTF-8 is kept (escaped), not a failure of the whole call.
        PyRef key(PyUnicode_DecodeFSDefault(name));
        if (!tuple || !key || PyDict_SetItem(counters.get(), key.get(), tuple.get()) != 0)
            return nullptr;
    }
    return counters.release();
}
