// sysctl(3), sysctlbyname(3) and sysctlnametomib(3) over the personality's tree, as FreeBSD's
// kern_sysctl.c answers them: a node found by sysctl_find_oid() (by number) or name2oid() (by
// dotted name), its arguments counted once against its row, then sysctl_root() calls its
// handler. ENOENT for an unknown node, ENOTDIR for numbers after a leaf, EISDIR for a parent,
// EPERM for a write to a read-only node, and ENOMEM when the caller's buffer is too small (the
// buffer then holds what fit, and the length says so). The tree is the node table and the
// parents its names imply.
#include "freebsd/sys/kern/kern_sysctl.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <vector>
#include <string_view>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/sys/kern/kern_mib.h"

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

// sysctl_root() and userland_sysctl(): a parent answers EISDIR, a write to a node without
// CTLFLAG_WR EPERM; the handler runs whether or not the caller gave a buffer, and a buffer
// without a length holds nothing (ENOMEM as soon as the node has a value).
static int answer(const SysctlMatch &match, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    const SysctlNode &node = *match.node;
    SysctlArgs args = match.arguments();
    if (sysctl_is_parent(node))
        return fail(EISDIR);
    if (newp != nullptr && !(node.type.kind & CTLFLAG_WR))
        return fail(EPERM);
    bool reading = oldp != nullptr || oldlenp != nullptr;
    SysctlReply reply(oldp, oldlenp != nullptr ? *oldlenp : 0);
    reply.take_input(newp, newlen);

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
    if (newp != nullptr && node.write != nullptr) {
        if (int err = sysctl_check_arity(match))
            return fail(err);
        if (int err = node.write(args, newp, newlen))
            return fail(err);
    }
    if (reply.overflowed()) {
        if (oldlenp != nullptr)
            *oldlenp = reply.capacity();
        return fail(ENOMEM);
    }
    if (oldlenp != nullptr)
        *oldlenp = reply.size();
    return 0;
}

int sysctl(const int *name, unsigned int namelen, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (name == nullptr || namelen < 2 || namelen > CTL_MAXNAME)
            return fail(EINVAL);
        SysctlMatch match;
        if (int err = sysctl_find(name, namelen, match))
            return fail(err);
        return answer(match, oldp, oldlenp, newp, newlen);
    });
}

// As FreeBSD's __sysctlbyname: the name resolved as {0,3} resolves it, then the number's answer.
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen) {
    return without_exceptions<int>(-1, [&]() -> int {
        SysctlMatch match;
        if (name == nullptr)
            return fail(ENOENT);
        if (int err = sysctl_find(std::string_view(name), match))
            return fail(err);
        return answer(match, oldp, oldlenp, newp, newlen);
    });
}

// As FreeBSD's C library: the name is the new value of {0,3}, *sizep counts elements of mibp.
// A number longer than the room fills the room and fails with ENOMEM, *sizep unchanged.
int sysctlnametomib(const char *name, int *mibp, size_t *sizep) {
    if (name == nullptr || sizep == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const int oid[] = {CTL_SYSCTL, CTL_SYSCTL_NAME2OID};
    size_t bytes = *sizep * sizeof(int);
    int rc = sysctl(oid, 2, mibp, &bytes, name, std::strlen(name));
    *sizep = bytes / sizeof(int);
    return rc;
}

// --- finding a node: sysctl_find_oid() by number, name2oid() by name ---

static int unit_index(const SysctlNode &node) {
    for (unsigned i = 0; i < node.oid.len; ++i)
        if (node.oid.name[i] == SYSCTL_UNIT)
            return static_cast<int>(i);
    return -1;
}

// The deepest node whose number begins mib. Every shorter beginning is a parent of it, so
// sysctl_find_oid()'s walk would have reached it too, and stops where it stops.
int sysctl_find(const int *mib, unsigned miblen, SysctlMatch &out) {
    if (miblen > CTL_MAXNAME)
        return ENOENT;
    const SysctlNode *found = nullptr;
    for (const SysctlNode &node : sysctl_tree()) {
        if (node.oid.len > miblen || (found != nullptr && node.oid.len <= found->oid.len))
            continue;
        bool match = true;
        for (unsigned i = 0; i < node.oid.len && match; ++i)
            match = node.oid.name[i] == SYSCTL_UNIT ? mib[i] >= 0 : node.oid.name[i] == mib[i];
        if (match)
            found = &node;
    }
    if (found == nullptr)
        return ENOENT;
    if (found->oid.len < miblen && !sysctl_is_node(*found))
        return ENOTDIR;  // numbers after a leaf
    if (found->oid.len < miblen && sysctl_is_parent(*found))
        return ENOENT;  // the next number is no child of it
    out = {};
    out.node = found;
    int unit = unit_index(*found);
    if (unit >= 0) {
        out.args[out.nargs++] = mib[unit];
        out.has_unit = true;
    }
    for (unsigned i = found->oid.len; i < miblen; ++i)
        out.args[out.nargs++] = mib[i];
    return 0;
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

int sysctl_find(std::string_view name, SysctlMatch &out) {
    if (name.ends_with('.'))  // name2oid() takes "kern.proc." for "kern.proc"
        name.remove_suffix(1);
    if (name.empty())
        return ENOENT;
    for (const SysctlNode &node : sysctl_tree()) {
        int unit = -1;
        if (!name_matches(node.name, name, unit))
            continue;
        out = {};
        out.node = &node;
        if (unit >= 0) {
            out.args[out.nargs++] = unit;
            out.has_unit = true;
        }
        return 0;
    }
    return ENOENT;
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

// --- the tree: the table's nodes and their parents ---

namespace {

bool same_number(const SysctlOid &a, const SysctlOid &b) {
    return a.len == b.len && std::equal(a.name, a.name + a.len, b.name);
}

struct Tree {
    std::deque<std::string> names;  // the parents' names; a deque keeps them where they are
    std::vector<SysctlNode> nodes;

    Tree() {
        std::vector<SysctlNode> parents;
        for (const SysctlNode &row : sysctl_nodes()) {
            std::string_view name = row.name;
            size_t dot = 0;
            for (unsigned depth = 1; depth < row.oid.len; ++depth) {
                dot = name.find('.', dot) + 1;
                SysctlOid number{};
                number.len = depth;
                std::copy(row.oid.name, row.oid.name + depth, number.name);
                if (std::any_of(parents.begin(), parents.end(), [&](const SysctlNode &p) { return same_number(p.oid, number); }))
                    continue;
                names.emplace_back(name.substr(0, dot - 1));
                // FreeBSD declares most of its parents writable (children may be), with format "N".
                parents.push_back({names.back().c_str(), number, kNoArgument, {CTLTYPE_NODE | CTLFLAG_RW, "N"}, nullptr});
            }
        }
        nodes = parents;
        nodes.insert(nodes.end(), sysctl_nodes().begin(), sysctl_nodes().end());
        std::stable_sort(nodes.begin(), nodes.end(), [](const SysctlNode &a, const SysctlNode &b) {
            return std::lexicographical_compare(a.oid.name, a.oid.name + a.oid.len, b.oid.name, b.oid.name + b.oid.len);
        });
    }
};

}  // namespace

std::span<const SysctlNode> sysctl_tree() {
    static const Tree tree;
    return tree.nodes;
}

int sysctl_unit_count() {
    int ncpu = 0;
    return hw_ncpu(ncpu) == 0 ? ncpu : 0;
}
