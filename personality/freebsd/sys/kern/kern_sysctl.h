// The personality's sysctl tree: one table of nodes, each with its FreeBSD name and number.
#pragma once
#include <sys/sysctl.h>

#include <cstddef>
#include <span>
#include <string>

#include "freebsd/sys/kern/sysctl_reply.h"

// Arguments are the MIB elements after the node's own number; handlers return 0 or an errno.
// A node with a unit in its name ("dev.cpu.N.freq") finds the unit first.
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

struct SysctlNode {
    const char *name;
    int mib[SYSCTL_NODE_MAXNAME];
    unsigned miblen;
    SysctlRead read;
    SysctlWrite write;  // null for a read-only node
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
// The node's number with the unit put in, as sysctlnametomib answers; returns its length.
unsigned sysctl_number(const SysctlMatch &match, int out[SYSCTL_NODE_MAXNAME]);
// The node's name with the unit put in ("dev.cpu.3.freq").
std::string sysctl_concrete_name(const SysctlMatch &match);
// Every node, for the tree's own checks.
std::span<const SysctlNode> sysctl_nodes();
