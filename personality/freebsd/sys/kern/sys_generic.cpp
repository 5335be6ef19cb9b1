// ioctl(2) (sys_generic.c) for the interface requests of net/if.c's ifioctl(), with FreeBSD's
// numbers and records: SIOCGIFFLAGS (flags translated), SIOCGIFMTU and SIOCGIFMEDIA (a media word
// from the driver's speed and duplex). Asked on the caller's socket, so the socket's network
// namespace answers.
#include <sys/ioctl.h>

#include <net/if.h>
#include <net/if_media.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string_view>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/sys/net/if_var.h"

namespace {

int fail(int err) {
    errno = err;
    return -1;
}

// Linux's errors to FreeBSD's: a name no interface has is ENXIO there.
int freebsd_errno(int linux_err) { return linux_err == ENODEV ? ENXIO : linux_err; }

int get_flags(int fd, const char *name, void *arg) {
    uint32_t flags = 0;
    uint16_t type = 0;
    int err = host::interface_flags(fd, name, flags);
    if (err == 0)
        err = host::interface_type(fd, name, type);
    if (err != 0)
        return fail(freebsd_errno(err));
    uint32_t freebsd_flags = linux_flags_to_freebsd(flags, type);
    auto *ifr = static_cast<struct ifreq *>(arg);
    ifr->ifr_flags = static_cast<short>(freebsd_flags & 0xffff);
    ifr->ifr_flagshigh = static_cast<short>(freebsd_flags >> 16);
    return 0;
}

int get_mtu(int fd, const char *name, void *arg) {
    int mtu = 0;
    if (int err = host::interface_mtu(fd, name, mtu))
        return fail(freebsd_errno(err));
    static_cast<struct ifreq *>(arg)->ifr_mtu = mtu;
    return 0;
}

// Only Ethernet links whose driver tells its settings have media; the others fail with EINVAL,
// as FreeBSD's interfaces without media support (lo0, tun) do.
int get_media(int fd, const char *name, void *arg) {
    uint32_t flags = 0;
    uint16_t type = 0;
    host::LinkSettings settings;
    int err = host::interface_flags(fd, name, flags);
    if (err == 0)
        err = host::interface_type(fd, name, type);
    if (err == 0 && type != host::linux_arphrd::ether)
        err = EINVAL;
    if (err == 0)
        err = host::link_settings(fd, name, settings);
    if (err == EOPNOTSUPP)
        err = EINVAL;
    if (err != 0)
        return fail(freebsd_errno(err));
    bool carrier = flags & host::linux_iff::running;
    auto *ifmr = static_cast<struct ifmediareq *>(arg);
    ifmr->ifm_current = IFM_ETHER | IFM_AUTO;
    ifmr->ifm_mask = 0;
    ifmr->ifm_status = IFM_AVALID | (carrier ? IFM_ACTIVE : 0);
    ifmr->ifm_active = linux_link_to_media_word(settings, carrier);
    if (ifmr->ifm_count > 0 && ifmr->ifm_ulist != nullptr)
        ifmr->ifm_ulist[0] = IFM_ETHER | IFM_AUTO;  // the one medium: autoselect
    ifmr->ifm_count = 1;
    return 0;
}

constexpr struct {
    unsigned long request;
    const char *name;
    size_t size;  // of the request's record
    int (*answer)(int fd, const char *ifname, void *arg);
} kRequests[] = {
    {SIOCGIFFLAGS, "SIOCGIFFLAGS", sizeof(struct ifreq), get_flags},
    {SIOCGIFMTU, "SIOCGIFMTU", sizeof(struct ifreq), get_mtu},
    {SIOCGIFMEDIA, "SIOCGIFMEDIA", sizeof(struct ifmediareq), get_media},
};

}  // namespace

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return without_exceptions<int>(-1, [&]() -> int {
        for (const auto &r : kRequests) {
            if (r.request != request)
                continue;
            if (arg == nullptr)
                return fail(EFAULT);
            // Both records start with the 16-byte name; the kernel reads at most 15 bytes of it.
            char name[IFNAMSIZ];
            std::memcpy(name, arg, IFNAMSIZ - 1);
            name[IFNAMSIZ - 1] = '\0';
            control::Outcome o = control::consult_named(r.name, std::string_view(name), true);
            if (o.action == control::Action::fail)
                return fail(o.err);
            if (o.action == control::Action::answer) {
                // A test's bytes stand for what follows the name.
                size_t room = r.size - IFNAMSIZ;
                std::memcpy(static_cast<char *>(arg) + IFNAMSIZ, o.bytes.data(), std::min(room, o.bytes.size()));
                return 0;
            }
            return r.answer(fd, name, arg);
        }
        return fail(ENOTTY);
    });
}
