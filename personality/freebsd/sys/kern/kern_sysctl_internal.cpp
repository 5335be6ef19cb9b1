// The tree's own nodes, as FreeBSD's kern_sysctl.c answers them: sysctl_sysctl_name() ({0,1}),
// sysctl_sysctl_next() ({0,2}, and {0,7} which skips nothing more here, no node being
// CTLFLAG_SKIP or DORMANT), sysctl_sysctl_name2oid() ({0,3}) and sysctl_sysctl_oidfmt() ({0,4}).
// sysctl(8) walks the tree with them, and sysctlnametomib(3) resolves names through {0,3}.
#include <sys/param.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "freebsd/sys/kern/kern_sysctl.h"

namespace {

// A concrete number: a node's with its unit put in.
struct Number {
    std::array<int, SYSCTL_NODE_MAXNAME> name{};
    unsigned len = 0;

    std::span<const int> view() const { return {name.data(), len}; }
};

Number concrete(const SysctlNode &node, int unit) {
    Number n;
    for (unsigned i = 0; i < node.oid.len; ++i)
        n.name[i] = node.oid.name[i] == SYSCTL_UNIT ? unit : node.oid.name[i];
    n.len = node.oid.len;
    return n;
}

bool before(std::span<const int> a, std::span<const int> b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

// The last component of a node's name ("freq" of "dev.cpu.N.freq").
std::string_view last_component(const SysctlNode &node) {
    std::string_view name = node.name;
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// The child of the parent numbered prefix (depth numbers) whose own number is number.
const SysctlNode *child(std::span<const int> prefix, int number) {
    for (const SysctlNode &node : sysctl_tree()) {
        if (node.oid.len != prefix.size() + 1)
            continue;
        bool match = true;
        for (unsigned i = 0; i < node.oid.len && match; ++i) {
            int want = i < prefix.size() ? prefix[i] : number;
            match = node.oid.name[i] == SYSCTL_UNIT ? want >= 0 : node.oid.name[i] == want;
        }
        if (match)
            return &node;
    }
    return nullptr;
}

}  // namespace

// Each number named by its node while the walk stays among parents, in decimal once it has
// left them (an unknown number, or arguments of a handler); ends with a NUL. Never fails.
int sysctl_sysctl_name(SysctlArgs oid, SysctlReply &reply) {
    bool among_parents = true;
    for (size_t depth = 0; depth < oid.size(); ++depth) {
        if (reply.size() > 0)
            reply.out(".", 1);
        const SysctlNode *node = among_parents ? child(oid.first(depth), oid[depth]) : nullptr;
        std::string text;
        if (node == nullptr || last_component(*node) == SYSCTL_UNIT_NAME)
            text = std::to_string(oid[depth]);
        else
            text = last_component(*node);
        reply.out(text.data(), text.size());
        among_parents = node != nullptr && sysctl_is_parent(*node);
    }
    reply.out("", 1);
    return 0;
}

// The first node after oid, depth first by increasing numbers, among the leaves and the nodes
// with a handler (parents are gone through, never answered); units over the CPUs that exist.
// ENOENT past the last one.
int sysctl_sysctl_next(SysctlArgs oid, SysctlReply &reply) {
    std::optional<Number> best;
    int units = sysctl_unit_count();
    for (const SysctlNode &node : sysctl_tree()) {
        if (sysctl_is_parent(node))
            continue;
        bool has_unit = std::find(node.oid.name, node.oid.name + node.oid.len, SYSCTL_UNIT) != node.oid.name + node.oid.len;
        for (int unit = 0; unit < (has_unit ? units : 1); ++unit) {
            Number n = concrete(node, unit);
            if (before(oid, n.view()) && (!best || before(n.view(), best->view())))
                best = n;
        }
    }
    if (!best)
        return ENOENT;
    reply.out(best->name.data(), best->len * sizeof(int));
    return 0;
}

// The number of the name given as the new value: parents included, ENOENT for an empty or
// unknown name, ENAMETOOLONG from MAXPATHLEN bytes on.
int sysctl_sysctl_name2oid(SysctlArgs, SysctlReply &reply) {
    std::string_view name = reply.input();
    if (name.empty())
        return ENOENT;
    if (name.size() >= MAXPATHLEN)
        return ENAMETOOLONG;
    name = name.substr(0, name.find('\0'));  // the kernel reads it as a C string
    SysctlMatch match;
    if (int err = sysctl_find(name, match))
        return err;
    int number[SYSCTL_NODE_MAXNAME];
    unsigned len = sysctl_number(match, number);
    reply.out(number, len * sizeof(int));
    return 0;
}

// The node's kind, then its format with a NUL; the node found as sysctl(3) finds it.
int sysctl_sysctl_oidfmt(SysctlArgs oid, SysctlReply &reply) {
    SysctlMatch match;
    if (int err = sysctl_find(oid.data(), static_cast<unsigned>(oid.size()), match))
        return err;
    const SysctlType &type = match.node->type;
    if (type.fmt == nullptr)
        return ENOENT;
    u_int kind = type.kind;
    reply.out(&kind, sizeof(kind));
    reply.out(type.fmt, std::char_traits<char>::length(type.fmt) + 1);
    return 0;
}
