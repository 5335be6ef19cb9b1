// FreeBSD's sysctl tree (sys/kern/kern_sysctl.c): the shape of a node, its lookup by number as
// sysctl_find_oid() does and by name as name2oid() does, and the binders that make a handler of
// a typed value reader. The nodes themselves are one table, in sysctl_nodes.cpp.
#pragma once
#include <sys/sysctl.h>

#include <cerrno>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "freebsd/sys/kern/sysctl_reply.h"

// Arguments are the MIB elements after the node's own number; handlers return 0 or an errno.
// A node with a unit in its name ("dev.cpu.N.freq") gets the unit first.
using SysctlArgs = std::span<const int>;
using SysctlRead = int (*)(SysctlArgs args, SysctlReply &reply);
using SysctlWrite = int (*)(SysctlArgs args, const void *value, size_t len);

// FreeBSD numbers most nodes itself as it attaches them (OID_AUTO), counting from 0x100 under
// each parent; callers learn those numbers by name (sysctlnametomib). The personality fixes
// them in its table.
constexpr int oid_auto(int n) { return 0x100 + n; }

// The unit inside a node's name: the component "N" of the name, SYSCTL_UNIT in its number.
// A unit is a non-negative decimal number as FreeBSD writes it ("0", "12"; not "012").
constexpr int SYSCTL_UNIT = -1;
constexpr const char *SYSCTL_UNIT_NAME = "N";
constexpr unsigned SYSCTL_NODE_MAXNAME = 6;

// A node's number, as long as the list it is written as.
struct SysctlOid {
    int name[SYSCTL_NODE_MAXNAME] = {};
    unsigned len = 0;

    constexpr SysctlOid(std::initializer_list<int> parts) {
        for (int part : parts)
            name[len++] = part;  // more than SYSCTL_NODE_MAXNAME parts: not a constant, the table fails to build
    }
};

// What a call may put after a node's number, and FreeBSD's answer to a count outside it. A value
// (a leaf) takes nothing: a longer name finds no node below it (ENOTDIR, from the lookup itself).
// A handler that reads its own arguments refuses a wrong count itself, mostly with EINVAL.
struct SysctlArity {
    unsigned min, max;
    int too_few, too_many;
};
constexpr SysctlArity kLeaf{0, 0, 0, ENOTDIR};
constexpr SysctlArity kUnitLeaf{1, 1, 0, ENOTDIR};  // the unit of its name, nothing after it
constexpr SysctlArity kNoArgument{0, 0, 0, EINVAL};
constexpr SysctlArity kOptionalArgument{0, 1, 0, EINVAL};
constexpr SysctlArity kOneArgument{1, 1, EINVAL, EINVAL};
constexpr SysctlArity kPid = kOneArgument;
constexpr SysctlArity kPidResource{2, 2, EINVAL, EINVAL};
constexpr SysctlArity kRouteRequest{4, 4, EISDIR, ENOTDIR};  // protocol, family, operation, index
constexpr SysctlArity kAnyArguments{0, CTL_MAXNAME - 2, 0, 0};  // the tree's own nodes: a number to look at

// What {0,4} tells of a node: its kind (CTLTYPE_* | CTLFLAG_*) and the format sysctl(8) prints
// it by ("I", "LU", "S,vmtotal", "N" for a node).
struct SysctlType {
    unsigned kind;
    const char *fmt;
};

struct SysctlNode {
    const char *name;
    SysctlOid oid;
    SysctlArity arity;
    SysctlType type;
    SysctlRead read;              // null for a parent: a node without a handler
    SysctlWrite write = nullptr;  // null where a new value is refused (no CTLFLAG_WR) or is the handler's input
};

// The writer of a node FreeBSD lets its owner write and the host does not let us (kern.pid_max,
// kern.proc.args): the answer FreeBSD gives a caller without the privilege.
inline int sysctl_write_refused(SysctlArgs, const void *, size_t) { return EPERM; }

// A node whose number may be followed by more: a parent, or a node with a handler of its own.
constexpr bool sysctl_is_node(const SysctlNode &node) { return (node.type.kind & CTLTYPE) == CTLTYPE_NODE; }
// A parent: a node with no handler, which only holds the nodes below it.
constexpr bool sysctl_is_parent(const SysctlNode &node) { return sysctl_is_node(node) && node.read == nullptr; }

// A node found for a call, with the arguments its handlers get.
struct SysctlMatch {
    const SysctlNode *node = nullptr;
    int args[CTL_MAXNAME] = {};
    unsigned nargs = 0;
    bool has_unit = false;  // args[0] is the unit of the name

    SysctlArgs arguments() const { return {args, nargs}; }
};

// The node that mib names, as sysctl_find_oid() walks the tree level by level: 0, ENOENT when a
// number is not there, ENOTDIR when numbers follow a leaf. A parent is found when mib stops at it.
int sysctl_find(const int *mib, unsigned miblen, SysctlMatch &out);
// The node of this dotted name, as name2oid() resolves it (parents included, one trailing "."
// allowed, a unit standing in for its "N"): 0 or ENOENT.
int sysctl_find(std::string_view name, SysctlMatch &out);
// 0 when the node takes this many arguments, else FreeBSD's errno for the count.
int sysctl_check_arity(const SysctlMatch &match);
// The node's number with the unit put in, as sysctlnametomib answers; returns its length.
unsigned sysctl_number(const SysctlMatch &match, int out[SYSCTL_NODE_MAXNAME]);
// The node's name with the unit put in ("dev.cpu.3.freq").
std::string sysctl_concrete_name(const SysctlMatch &match);
// Every node of the table, in its order.
std::span<const SysctlNode> sysctl_nodes();
// The whole tree: the table's nodes and the parents their names imply ("kern", "kern.proc",
// "dev.cpu.N"), ordered by number.
std::span<const SysctlNode> sysctl_tree();
// The units that exist of a node with a unit in its name: the CPUs, 0 to hw.ncpu - 1.
int sysctl_unit_count();

// A typed value reader: int read(T &value), or int read(int unit, T &value) for a node with a
// unit in its name; it returns 0 or an errno.
template <typename Reader>
struct SysctlValueReader;
template <typename T>
struct SysctlValueReader<int (*)(T &)> {
    using Value = T;
    static int read(int (*reader)(T &), SysctlArgs, T &value) { return reader(value); }
};
template <typename T>
struct SysctlValueReader<int (*)(int, T &)> {
    using Value = T;
    static int read(int (*reader)(int, T &), SysctlArgs args, T &value) { return reader(args[0], value); }
};

// The handler of a node whose value is what Reader reads: its bytes, so the node's length is the
// value's; a text with its NUL, as FreeBSD's string nodes answer.
template <auto Reader>
int sysctl_value(SysctlArgs args, SysctlReply &reply) {
    using Bound = SysctlValueReader<decltype(Reader)>;
    typename Bound::Value value{};
    if (int err = Bound::read(Reader, args, value))
        return err;
    if constexpr (std::is_same_v<typename Bound::Value, std::string>)
        reply.out(value.c_str(), value.size() + 1);
    else
        reply.out(&value, sizeof(value));
    return 0;
}

// A reader of one field of a record that Read fills (int Read(Record &)): a node per field of
// one host read ("vm.stats.vm.v_free_count" of the page queues).
template <typename Field>
struct SysctlMember;
template <typename Record, typename T>
struct SysctlMember<T Record::*> {
    using Of = Record;
    using Type = T;
};
template <auto Read, auto Field>
int sysctl_field(typename SysctlMember<decltype(Field)>::Type &value) {
    typename SysctlMember<decltype(Field)>::Of record{};
    if (int err = Read(record))
        return err;
    value = record.*Field;
    return 0;
}

// The tree's own nodes under CTL_SYSCTL (kern_sysctl_internal.cpp); each takes a number as its
// arguments, {0,3} a name as its new value.
int sysctl_sysctl_name(SysctlArgs oid, SysctlReply &reply);
int sysctl_sysctl_next(SysctlArgs oid, SysctlReply &reply);
int sysctl_sysctl_name2oid(SysctlArgs, SysctlReply &reply);
int sysctl_sysctl_oidfmt(SysctlArgs oid, SysctlReply &reply);

// A reader of how many records Read (int Read(std::vector<Record> &)) lists: a node that counts
// a host table ("kern.devstat.numdevs" the disks, "vm.nswapdev" the swap devices).
template <typename Reader>
struct SysctlListReader;
template <typename Record>
struct SysctlListReader<int (*)(std::vector<Record> &)> {
    using Of = Record;
};
template <auto Read>
int sysctl_count(int &count) {
    std::vector<typename SysctlListReader<decltype(Read)>::Of> records;
    if (int err = Read(records))
        return err;
    count = static_cast<int>(records.size());
    return 0;
}
