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
#include <type_traits>

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
// (a leaf) takes nothing: a longer name finds no node below it (ENOTDIR). A handler that reads
// its own arguments refuses a wrong count itself, mostly with EINVAL.
struct SysctlArity {
    unsigned min, max;
    int too_few, too_many;
};
constexpr SysctlArity kLeaf{0, 0, 0, ENOTDIR};
constexpr SysctlArity kUnitLeaf{1, 1, 0, ENOTDIR};  // the unit of its name, nothing after it
constexpr SysctlArity kNoArgument{0, 0, 0, EINVAL};
constexpr SysctlArity kOptionalArgument{0, 1, 0, EINVAL};
constexpr SysctlArity kPid{1, 1, EINVAL, EINVAL};
constexpr SysctlArity kPidResource{2, 2, EINVAL, EINVAL};
constexpr SysctlArity kRouteRequest{4, 4, EISDIR, ENOTDIR};  // protocol, family, operation, index

struct SysctlNode {
    const char *name;
    SysctlOid oid;
    SysctlArity arity;
    SysctlRead read;
    SysctlWrite write = nullptr;  // null for a read-only node
};

// A node found for a call, with the arguments its handlers get.
struct SysctlMatch {
    const SysctlNode *node = nullptr;
    int args[CTL_MAXNAME] = {};
    unsigned nargs = 0;
    bool has_unit = false;  // args[0] is the unit of the name

    SysctlArgs arguments() const { return {args, nargs}; }
};

// The node whose number is the longest prefix of mib; false when there is none.
bool sysctl_find(const int *mib, unsigned miblen, SysctlMatch &out);
// The node of this name exactly, a unit standing in for its "N"; false when there is none.
bool sysctl_find(const char *name, SysctlMatch &out);
// 0 when the node takes this many arguments, else FreeBSD's errno for the count.
int sysctl_check_arity(const SysctlMatch &match);
// The node's number with the unit put in, as sysctlnametomib answers; returns its length.
unsigned sysctl_number(const SysctlMatch &match, int out[SYSCTL_NODE_MAXNAME]);
// The node's name with the unit put in ("dev.cpu.3.freq").
std::string sysctl_concrete_name(const SysctlMatch &match);
// Every node, in the order of the table.
std::span<const SysctlNode> sysctl_nodes();

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
