/* FreeBSD <sys/sockio.h>: the interface requests on a socket, with FreeBSD's numbers. */
#pragma once

#define IOCPARM_MASK 0x1fff
#define IOC_VOID  0x20000000UL
#define IOC_OUT   0x40000000UL
#define IOC_IN    0x80000000UL
#define IOC_INOUT (IOC_IN | IOC_OUT)
#define _IOC(inout, group, num, len) ((unsigned long)((inout) | (((len) & IOCPARM_MASK) << 16) | ((group) << 8) | (num)))
#define _IOWR(g, n, t) _IOC(IOC_INOUT, (g), (n), sizeof(t))

#define SIOCGIFFLAGS _IOWR('i', 17, struct ifreq)
#define SIOCGIFMTU   _IOWR('i', 51, struct ifreq)
#define SIOCGIFMEDIA _IOWR('i', 56, struct ifmediareq)

#ifdef __cplusplus
#include <net/if.h>
static_assert(SIOCGIFFLAGS == 0xc0206911UL && SIOCGIFMTU == 0xc0206933UL && SIOCGIFMEDIA == 0xc0306938UL);
#endif
