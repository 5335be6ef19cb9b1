/* FreeBSD <sys/types.h>: the host's types, plus the FreeBSD kernel types that the host lacks.
 * Widths are those of FreeBSD 14 on amd64. */
#pragma once
#include_next <sys/types.h>
#include <stdint.h>

typedef int64_t  segsz_t;     /* segment size, in pages */
typedef uint64_t vm_size_t;
typedef uint64_t vm_offset_t;
typedef int32_t  lwpid_t;     /* thread id */
typedef uint32_t fixpt_t;     /* fixed point, FSCALE 2048 */
typedef uint64_t ksize_t;     /* kernel-exported size */
typedef int64_t  kssize_t;
typedef uint64_t kvaddr_t;    /* kernel-exported address */
typedef int      cpulevel_t;
typedef int      cpuwhich_t;
typedef int      cpusetid_t;
/* FreeBSD's id_t is a signed 64-bit integer; the host's (32-bit unsigned) keeps its name,
 * so the personality's prototypes spell the FreeBSD width out as freebsd_id_t. */
typedef int64_t  freebsd_id_t;
