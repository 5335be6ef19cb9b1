// One interface's MTU, flags, running state, duplex and speed, each from one interface ioctl
// on a datagram socket opened for the request.
#include "arch/posix/net_if.h"

#include <sys/types.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <net/if.h>
#include <net/if_media.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/str.h"

namespace {

// Flag names in the order callers expect (not bit order: multicast comes before oactive).
constexpr struct {
    const char *name;
    int bit;
} kFlagNames[] = {
    {"up", IFF_UP},
    {"broadcast", IFF_BROADCAST},
    {"debug", IFF_DEBUG},
    {"loopback", IFF_LOOPBACK},
    {"pointopoint", IFF_POINTOPOINT},
    {"running", IFF_RUNNING},
    {"noarp", IFF_NOARP},
    {"promisc", IFF_PROMISC},
    {"allmulti", IFF_ALLMULTI},
    {"multicast", IFF_MULTICAST},
    {"oactive", IFF_OACTIVE},
    {"simplex", IFF_SIMPLEX},
    {"link0", IFF_LINK0},
    {"link1", IFF_LINK1},
    {"link2", IFF_LINK2},
};

// Megabits per second by subtype, from the first subtype of each table.
constexpr int kFirstSubtype = 3;
constexpr uint32_t kEtherSpeeds[] = {
    10,    10,    10,    100,   100,   100,   100,   100,   1000, 10,   10,    1000,
    1000,  1000,  1,     10000, 10000, 10000, 2500,  10000, 10000, 0,    0,     10000,
};
constexpr uint32_t kIeee80211Speeds[] = {1, 2, 1, 2, 5, 11, 22};
static_assert(std::size(kEtherSpeeds) == IFM_10G_T - kFirstSubtype + 1);
static_assert(std::size(kIeee80211Speeds) == IFM_IEEE80211_DS22 - kFirstSubtype + 1);

constexpr struct {
    int type;
    int subtype_mask;
    const uint32_t *speeds;
    size_t count;
} kSpeedTables[] = {
    {IFM_IEEE80211, IFM_TMASK, kIeee80211Speeds, std::size(kIeee80211Speeds)},
    {IFM_ETHER, IFM_TMASK | IFM_ETH_XTYPE, kEtherSpeeds, std::size(kEtherSpeeds)},
};

int duplex_of(int media) {
    if (media & IFM_FDX)
        return 2;
    return media & IFM_HDX ? 1 : 0;
}

// A datagram socket, the handle of the interface requests; closing keeps errno.
class RequestSocket {
public:
    RequestSocket() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {}
    RequestSocket(const RequestSocket &) = delete;
    ~RequestSocket() { close_keeping_errno(); }
    bool open() const { return fd_ != -1; }
    // The request's result: 0, or -1 with the request's errno (the socket is closed either way).
    int request(unsigned long request, void *arg) {
        int rc = ioctl(fd_, request, arg);
        close_keeping_errno();
        return rc;
    }

private:
    void close_keeping_errno() {
        if (fd_ == -1)
            return;
        int saved = errno;
        close(fd_);
        fd_ = -1;
        errno = saved;
    }
    int fd_;
};

// The flags or MTU request for the named interface; false with OSError set on failure.
bool interface_request(PyObject *args, unsigned long request, struct ifreq &ifr) {
    const char *name;
    if (!PyArg_ParseTuple(args, "s", &name))
        return false;
    RequestSocket sock;
    if (!sock.open()) {
        lumvik_oserror();
        return false;
    }
    std::memset(&ifr, 0, sizeof(ifr));
    str_copy(ifr.ifr_name, sizeof(ifr.ifr_name), name);
    if (sock.request(request, &ifr) == -1) {
        lumvik_oserror();
        return false;
    }
    return true;
}

}  // namespace

int lumvik_get_nic_speed(int media) {
    for (const auto &table : kSpeedTables) {
        if ((media & IFM_NMASK) != table.type)
            continue;
        int subtype = media & table.subtype_mask;
        if (subtype < kFirstSubtype || static_cast<size_t>(subtype - kFirstSubtype) >= table.count)
            return 0;
        return static_cast<int>(table.speeds[subtype - kFirstSubtype]);
    }
    return 0;
}

PyObject *lumvik_net_if_mtu(PyObject *, PyObject *args) {
    struct ifreq ifr;
    if (!interface_request(args, SIOCGIFMTU, ifr))
        return nullptr;
    return Py_BuildValue("i", ifr.ifr_mtu);
}

PyObject *lumvik_net_if_is_running(PyObject *, PyObject *args) {
    struct ifreq ifr;
    if (!interface_request(args, SIOCGIFFLAGS, ifr))
        return nullptr;
    return Py_BuildValue("O", (ifr.ifr_flags & IFF_RUNNING) ? Py_True : Py_False);
}

PyObject *lumvik_net_if_flags(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    const char *name;
    if (!PyArg_ParseTuple(args, "s", &name))
        return nullptr;
    RequestSocket sock;
    if (!sock.open())
        return lumvik_oserror_wsyscall("socket(SOCK_DGRAM)");
    struct ifreq ifr;
    std::memset(&ifr, 0, sizeof(ifr));
    str_copy(ifr.ifr_name, sizeof(ifr.ifr_name), name);
    if (sock.request(SIOCGIFFLAGS, &ifr) == -1)
        return lumvik_oserror_wsyscall("ioctl(SIOCGIFFLAGS)");
    int flags = static_cast<uint16_t>(ifr.ifr_flags);
    for (const auto &f : kFlagNames) {
        if (!(flags & f.bit))
            continue;
        PyRef text(PyUnicode_FromString(f.name));
        if (!text || PyList_Append(list.get(), text.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_net_if_duplex_speed(PyObject *, PyObject *args) {
    const char *name;
    if (!PyArg_ParseTuple(args, "s", &name))
        return nullptr;
    RequestSocket sock;
    if (!sock.open())
        return lumvik_oserror();
    struct ifmediareq ifmr;
    std::memset(&ifmr, 0, sizeof(ifmr));
    str_copy(ifmr.ifm_name, sizeof(ifmr.ifm_name), name);
    int duplex = 0, speed = 0;
    // An interface without media support, or without that name, is not an error here.
    if (sock.request(SIOCGIFMEDIA, &ifmr) == 0) {
        duplex = duplex_of(ifmr.ifm_active);
        speed = lumvik_get_nic_speed(ifmr.ifm_active);
    }
    return Py_BuildValue("[ii]", duplex, speed);
}
