#include "sysctl_tree.h"

#include <sys/sysctl.h>

#include <cstring>

#include "kern.h"
#include "kern_proc.h"

// Every node the personality answers. Add a node here, with its reader in the unit of its area.
static const SysctlNode nodes[] = {
    {"kern.argmax", {CTL_KERN, KERN_ARGMAX}, 2, kern_argmax, nullptr},
    {"kern.proc.all", {CTL_KERN, KERN_PROC, KERN_PROC_ALL}, 3, kern_proc_all, nullptr},
    {"kern.proc.pid", {CTL_KERN, KERN_PROC, KERN_PROC_PID}, 3, kern_proc_pid, nullptr},
    {"kern.proc.proc", {CTL_KERN, KERN_PROC, KERN_PROC_PROC}, 3, kern_proc_proc, nullptr},
    {"kern.proc.pid_td", {CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD}, 3, kern_proc_pid_td, nullptr},
    {"kern.proc.args", {CTL_KERN, KERN_PROC, KERN_PROC_ARGS}, 3, kern_proc_args, nullptr},
    {"kern.proc.pathname", {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME}, 3, kern_proc_pathname, nullptr},
    {"kern.proc.rlimit", {CTL_KERN, KERN_PROC, KERN_PROC_RLIMIT}, 3, kern_proc_rlimit, kern_proc_rlimit_set},
};

const SysctlNode *sysctl_find(const int *mib, unsigned miblen) {
    const SysctlNode *found = nullptr;
    for (const SysctlNode &node : nodes)
        if (node.miblen <= miblen && std::memcmp(node.mib, mib, node.miblen * sizeof(int)) == 0 &&
            (found == nullptr || node.miblen > found->miblen))
            found = &node;
    return found;
}

const SysctlNode *sysctl_find(const char *name) {
    for (const SysctlNode &node : nodes)
        if (std::strcmp(node.name, name) == 0)
            return &node;
    return nullptr;
}
