/* FreeBSD <sys/cpuset.h>: CPU sets and the affinity calls. */
#pragma once
#include <sys/types.h>

#define CPU_SETSIZE 1024
#define CPU_MAXSIZE 1024

typedef struct _cpuset {
    long __bits[CPU_SETSIZE / (8 * sizeof(long))];
} cpuset_t;

/* The host's <sched.h> has macros of these names for its own cpu_set_t. */
#undef CPU_ZERO
#undef CPU_SET
#undef CPU_CLR
#undef CPU_ISSET
#undef CPU_COUNT
#define __CPU_WORD(n) ((n) / (8 * sizeof(long)))
#define __CPU_BIT(n)  (1L << ((n) % (8 * sizeof(long))))
#define CPU_ZERO(p)     __builtin_memset((p), 0, sizeof(cpuset_t))
#define CPU_SET(n, p)   ((p)->__bits[__CPU_WORD(n)] |= __CPU_BIT(n))
#define CPU_CLR(n, p)   ((p)->__bits[__CPU_WORD(n)] &= ~__CPU_BIT(n))
#define CPU_ISSET(n, p) (((p)->__bits[__CPU_WORD(n)] & __CPU_BIT(n)) != 0)

#define CPU_LEVEL_ROOT   1
#define CPU_LEVEL_CPUSET 2
#define CPU_LEVEL_WHICH  3

#define CPU_WHICH_TID         1
#define CPU_WHICH_PID         2
#define CPU_WHICH_CPUSET      3
#define CPU_WHICH_IRQ         4
#define CPU_WHICH_JAIL        5
#define CPU_WHICH_DOMAIN      6
#define CPU_WHICH_INTRHANDLER 7
#define CPU_WHICH_ITHREAD     8
#define CPU_WHICH_TIDPID      9

#ifdef __cplusplus
extern "C" {
#endif
int cpuset_getaffinity(cpulevel_t level, cpuwhich_t which, freebsd_id_t id, size_t setsize, cpuset_t *mask)
    __asm__("freebsd_cpuset_getaffinity");
int cpuset_setaffinity(cpulevel_t level, cpuwhich_t which, freebsd_id_t id, size_t setsize,
                       const cpuset_t *mask) __asm__("freebsd_cpuset_setaffinity");
#ifdef __cplusplus
}
static_assert(sizeof(cpuset_t) == 128, "cpuset_t is 128 bytes");
#endif
