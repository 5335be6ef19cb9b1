// sysctl(3), sysctlbyname(3) and sysctlnametomib(3) over the personality's tree, as FreeBSD's
// kern_sysctl.c answers them: a node found by sysctl_find_oid() (the longest matching number)
// or name2oid() (its dotted name), its arguments counted once against its row, then
// sysctl_root() calls its handler. ENOENT for an unknown node, EPERM for a write to a read-only
// one, and ENOMEM when the caller's buffer is too small (the buffer then holds what fit, and the
// length says so).
#include "freebsd/sys/kern/kern_sysctl.h"

#include <cerrno>
#include <climits>
#include <string_view>

#include "freebsd/c_interface.h"
#include "control/control.h"

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
            if (int err = sysctl_check_arity(match))
                return fail(err);
            if (int err = node.read(args, reply))
                return fail(err);
        }
        break;
    }
    if (newp != nullptr) {
        if (int err = sysctl_check_arity(match))
            return fail(err);
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

// --- finding a node: sysctl_find_oid() by number, name2oid() by name ---

static int unit_index(const SysctlNode &node) {
    for (unsigned i = 0; i < node.oid.len; ++i)
        if (node.oid.name[i] == SYSCTL_UNIT)
            return static_cast<int>(i);
    return -1;
}

bool sysctl_find(const int *mib, unsigned miblen, SysctlMatch &out) {
    if (miblen > CTL_MAXNAME)
        return false;
    const SysctlNode *found = nullptr;
    for (const SysctlNode &node : sysctl_nodes()) {
        if (node.oid.len > miblen || (found != nullptr && node.oid.len <= found->oid.len))
            continue;
        bool match = true;
        for (unsigned i = 0; i < node.oid.len && match; ++i)
            match = node.oid.name[i] == SYSCTL_UNIT ? mib[i] >= 0 : node.oid.name[i] == mib[i];
        if (match)
            found = &node;
    }
    if (found == nullptr)
        return false;
    out = {};
    out.node = found;
    int unit = unit_index(*found);
    if (unit >= 0) {
        out.args[out.nargs++] = mib[unit];
        out.has_unit = true;
    }
    for (unsigned i = found->oid.len; i < miblen; ++i)
        out.args[out.nargs++] = mib[i];
    return true;
}

// A unit as FreeBSD names it: decimal digits without a sign or a leading zero, within an int.
static bool parse_unit(std::string_view text, int &unit) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX)
        return false;
    unit = static_cast<int>(value);
    return true;
}

// Whether name is the node's name with a unit for its "N" component; the unit goes to unit.
static bool name_matches(std::string_view pattern, std::string_view name, int &unit) {
    while (true) {
        size_t pdot = pattern.find('.'), ndot = name.find('.');
        std::string_view pc = pattern.substr(0, pdot), nc = name.substr(0, ndot);
        if (pc == SYSCTL_UNIT_NAME ? !parse_unit(nc, unit) : pc != nc)
            return false;
        if (pdot == std::string_view::npos || ndot == std::string_view::npos)
            return pdot == ndot;
        pattern.remove_prefix(pdot + 1);
        name.remove_prefix(ndot + 1);
    }
}

bool sysctl_find(const char *name, SysctlMatch &out) {
    for (const SysctlNode &node : sysctl_nodes()) {
        int unit = -1;
        if (!name_matches(node.name, name, unit))
            continue;
        out = {};
        out.node = &node;
        if (unit >= 0) {
            out.args[out.nargs++] = unit;
            out.has_unit = true;
        }
        return true;
    }
    return false;
}

int sysctl_check_arity(const SysctlMatch &match) {
    const SysctlArity &arity = match.node->arity;
    if (match.nargs < arity.min)
        return arity.too_few;
    return match.nargs > arity.max ? arity.too_many : 0;
}

unsigned sysctl_number(const SysctlMatch &match, int out[SYSCTL_NODE_MAXNAME]) {
    const SysctlNode &node = *match.node;
    for (unsigned i = 0; i < node.oid.len; ++i)
        out[i] = node.oid.name[i] == SYSCTL_UNIT ? match.args[0] : node.oid.name[i];
    return node.oid.len;
}

std::string sysctl_concrete_name(const SysctlMatch &match) {
    std::string_view pattern = match.node->name;
    if (!match.has_unit)
        return std::string(pattern);
    std::string name;
    while (true) {
        size_t dot = pattern.find('.');
        std::string_view component = pattern.substr(0, dot);
        if (component == SYSCTL_UNIT_NAME)
            name += std::to_string(match.args[0]);
        else
            name += component;
        if (dot == std::string_view::npos)
            return name;
        name += '.';
        pattern.remove_prefix(dot + 1);
    }
}
