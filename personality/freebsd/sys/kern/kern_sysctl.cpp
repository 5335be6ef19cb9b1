// sysctl(3), sysctlbyname(3) and sysctlnametomib(3) over the personality's tree, with
// FreeBSD's failure behaviour: ENOENT for an unknown node, EPERM for a write to a read-only
// one, and ENOMEM when the caller's buffer is too small (the buffer then holds what fit, and
// the length says so).
#include <sys/sysctl.h>

#include <cerrno>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/sys/kern/kern_sysctl.h"

static int fail(int err) {
    errno = err;
    return -1;
}

// A test's override of the node: one for this unit ("dev.cpu.3.freq") before one for every
// unit ("dev.cpu.N.freq").
static control::Outcome consult(const SysctlMatch &match, bool fetch) {
    SysctlArgs args = match.arguments();
    if (!match.has_unit)
        return control::consult(match.node->name, args, fetch);
    if (!control::active())
        return {};
    control::Outcome o = control::consult(sysctl_concrete_name(match), args.subspan(1), fetch);
    if (o.action == control::Action::none)
        o = control::consult(match.node->name, args, fetch);
    return o;
}

static int answer(const SysctlMatch &match, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    const SysctlNode &node = *match.node;
    SysctlArgs args = match.arguments();
    if (newp != nullptr && node.write == nullptr)
        return fail(EPERM);
    bool reading = oldlenp != nullptr;
    SysctlReply reply(oldp, reading ? *oldlenp : 0);

    control::Outcome o = consult(match, oldp != nullptr);
    switch (o.action) {
    case control::Action::fail:
        return fail(o.err);
    case control::Action::answer:
        reply.out(o.bytes.data(), o.bytes.size());
        break;
    case control::Action::grow:
        return fail(ENOMEM);
    case control::Action::none:
        if (reading) {
            if (int err = node.read(args, reply))
                return fail(err);
        }
        break;
    }
    if (newp != nullptr) {
        if (int err = node.write(args, newp, newlen))
            return fail(err);
    }
    if (reading) {
        if (reply.overflowed()) {
            *oldlenp = reply.capacity();
            return fail(ENOMEM);
        }
        *oldlenp = reply.size();
    }
    return 0;
}

int sysctl(const int *name, unsigned int namelen, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (name == nullptr || namelen < 2 || namelen > CTL_MAXNAME)
            return fail(EINVAL);
        SysctlMatch match;
        if (!sysctl_find(name, namelen, match))
            return fail(ENOENT);
        return answer(match, oldp, oldlenp, newp, newlen);
    });
}

int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    return without_exceptions<int>(-1, [&]() -> int {
        SysctlMatch match;
        if (name == nullptr || !sysctl_find(name, match))
            return fail(ENOENT);
        return answer(match, oldp, oldlenp, newp, newlen);
    });
}

// As FreeBSD's: *sizep holds the room of mibp in elements, and then the length of the number;
// ENOMEM when the number does not fit.
int sysctlnametomib(const char *name, int *mibp, size_t *sizep) {
    return without_exceptions<int>(-1, [&]() -> int {
        SysctlMatch match;
        if (name == nullptr || !sysctl_find(name, match))
            return fail(ENOENT);
        if (mibp == nullptr || sizep == nullptr)
            return fail(EINVAL);
        int number[SYSCTL_NODE_MAXNAME];
        unsigned len = sysctl_number(match, number);
        if (*sizep < len)
            return fail(ENOMEM);
        for (unsigned i = 0; i < len; ++i)
            mibp[i] = number[i];
        *sizep = len;
        return 0;
    });
}
