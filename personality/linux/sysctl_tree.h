// The personality's sysctl tree: one table of nodes, each with its FreeBSD name and number.
#pragma once
#include <cstddef>
#include <span>

#include "sysctl_reply.h"

// Arguments are the MIB elements after the node's own number; handlers return 0 or an errno.
using SysctlArgs = std::span<const int>;
using SysctlRead = int (*)(SysctlArgs args, SysctlReply &reply);
using SysctlWrite = int (*)(SysctlArgs args, const void *value, size_t len);

struct SysctlNode {
    const char *name;
    int mib[4];
    unsigned miblen;
    SysctlRead read;
    SysctlWrite write;  // null for a read-only node
};

// The node whose number is a prefix of mib, or null.
const SysctlNode *sysctl_find(const int *mib, unsigned miblen);
const SysctlNode *sysctl_find(const char *name);
