/* FreeBSD <net/route.h>: routing message types and the address bits of a message. */
#pragma once
#include <sys/types.h>
#include <sys/socket.h>

#define RTM_VERSION    5
#define RTM_NEWADDR    12
#define RTM_DELADDR    13
#define RTM_IFINFO     14
#define RTM_NEWMADDR   15
#define RTM_IFANNOUNCE 17

#define RTA_DST     0x1
#define RTA_GATEWAY 0x2
#define RTA_NETMASK 0x4
#define RTA_GENMASK 0x8
#define RTA_IFP     0x10
#define RTA_IFA     0x20
#define RTA_AUTHOR  0x40
#define RTA_BRD     0x80

/* The room a socket address takes in a routing message: its length rounded up to a long. */
#define SA_SIZE(sa) \
    (!(sa) || ((const struct sockaddr *)(sa))->sa_len == 0 ? sizeof(long) \
                                                           : 1 + ((((const struct sockaddr *)(sa))->sa_len - 1) | (sizeof(long) - 1)))
