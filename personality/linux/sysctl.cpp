// sysctl(3) and sysctlbyname(3) over the personality's tree, with FreeBSD's failure behaviour:
// ENOENT for an unknown node, EPERM for a write to a read-only one, and ENOMEM when the
// caller's buffer is too small (the buffer then holds what fit, and the length says so).
#include <sys/sysctl.h>

#include <cerrno>

#include "c_interface.h"
#include "control/control.h"
#include "sysctl_tree.h"

static int fail(int err) {
    errno = err;
    return -1;
}

static int answer(const SysctlNode &node, SysctlArgs args, void *oldp, size_t *oldlenp, const void *newp,
                  size_t newlen) {
    if (newp != nullptr && node.write == nullptr)
        return fail(EPERM);
    bool reading = oldlenp != nullptr;
    SysctlReply reply(oldp, reading ? *oldlenp : 0);

    control::Outcome o = control::consult(node.name, args, oldp != nullptr);
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
        const SysctlNode *node = sysctl_find(name, namelen);
        if (node == nullptr)
            return fail(ENOENT);
        return answer(*node, SysctlArgs(name + node->miblen, namelen - node->miblen), oldp, oldlenp, newp, newlen);
    });
}

int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    return without_exceptions<int>(-1, [&]() -> int {
        const SysctlNode *node = name != nullptr ? sysctl_find(name) : nullptr;
        if (node == nullptr)
            return fail(ENOENT);
        return answer(*node, {}, oldp, oldlenp, newp, newlen);
    });
}
