/* FreeBSD <sys/time.h>: the host's, plus struct bintime. */
#include_next <sys/time.h>

#ifndef LUMVIK_FREEBSD_SYS_TIME_H
#define LUMVIK_FREEBSD_SYS_TIME_H
#include <stdint.h>

/* A time as whole seconds and a fraction of a second in units of 2^-64 s. */
struct bintime {
    time_t sec;
    uint64_t frac;
};
#ifdef __cplusplus
static_assert(sizeof(struct bintime) == 16, "FreeBSD's struct bintime");
#endif
#endif
