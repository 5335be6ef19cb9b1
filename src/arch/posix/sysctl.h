// Kernel query routines over sysctl(3): 0 on success, -1 with a Python exception set.
#pragma once
#include "module.h"

#include <sys/types.h>

#include "arch/all/owned.h"

LUMVIK_EXPORT int lumvik_sysctl(int *mib, u_int miblen, void *buf, size_t buflen);
// The buffer is calloc'ed at the size the kernel reports; the caller frees it.
LUMVIK_EXPORT int lumvik_sysctl_malloc(int *mib, u_int miblen, char **buf, size_t *buflen);
// The kernel's maximum argument size, or 0 with an exception set.
LUMVIK_EXPORT size_t lumvik_sysctl_argmax(void);
LUMVIK_EXPORT int lumvik_sysctlbyname(const char *name, void *buf, size_t buflen);
LUMVIK_EXPORT int lumvik_sysctlbyname_malloc(const char *name, char **buf, size_t *buflen);

// lumvik_sysctl_malloc into an owned buffer.
inline int sysctl_malloc_owned(int *mib, u_int miblen, MallocPtr<char> &buf, size_t *buflen) {
    char *raw = nullptr;
    int rc = lumvik_sysctl_malloc(mib, miblen, &raw, buflen);
    buf.reset(raw);
    return rc;
}
