/* FreeBSD <malloc_np.h>: the allocator's control call. */
#pragma once
#include <stddef.h>

/* The arena index that stands for every arena, in names such as "arena.4096.purge". */
#define MALLCTL_ARENAS_ALL       4096
#define MALLCTL_ARENAS_DESTROYED 4097

#ifdef __cplusplus
extern "C" {
#endif
/* Returns 0 or an error number; errno is not promised. */
int mallctl(const char *name, void *oldp, size_t *oldlenp, void *newp, size_t newlen) __asm__("freebsd_mallctl");
#ifdef __cplusplus
}
#endif
