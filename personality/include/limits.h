/* FreeBSD <limits.h>: the host's limits with FreeBSD's path length. */
#ifdef _GCC_NEXT_LIMITS_H
/* GCC's own <limits.h> asking for the C library's through <syslimits.h>: pass it on. */
#include_next <limits.h>
#elif !defined(LUMVIK_FREEBSD_LIMITS_H)
#define LUMVIK_FREEBSD_LIMITS_H
#include_next <limits.h>

#undef PATH_MAX
#define PATH_MAX 1024
#ifndef _POSIX2_LINE_MAX
#define _POSIX2_LINE_MAX 2048
#endif
#endif
