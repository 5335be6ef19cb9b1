/* FreeBSD <sys/socket.h>: socket addresses carry their own length and a one-byte family. */
#pragma once
#include <sys/types.h>

typedef uint8_t  sa_family_t;
typedef uint32_t socklen_t;

#define AF_UNSPEC  0
#define AF_UNIX    1
#define AF_LOCAL   AF_UNIX
#define AF_INET    2
#define AF_ROUTE   17
#define AF_LINK    18
#define AF_INET6   28
#define AF_NETLINK 38
#define AF_DIVERT  44
#define AF_MAX     44

#define PF_UNSPEC AF_UNSPEC
#define PF_UNIX   AF_UNIX
#define PF_LOCAL  AF_LOCAL
#define PF_INET   AF_INET
#define PF_ROUTE  AF_ROUTE
#define PF_LINK   AF_LINK
#define PF_INET6  AF_INET6

#define SOCK_STREAM    1
#define SOCK_DGRAM     2
#define SOCK_RAW       3
#define SOCK_RDM       4
#define SOCK_SEQPACKET 5

#define SO_ACCEPTCONN 0x00000002  /* listening: so_options */
#define SOCK_CLOEXEC   0x10000000
#define SOCK_NONBLOCK  0x20000000

/* The routing socket's sysctl: {CTL_NET, PF_ROUTE, 0, family, NET_RT_*, argument}. */
#define NET_RT_DUMP     1
#define NET_RT_FLAGS    2
#define NET_RT_IFLIST   3
#define NET_RT_IFMALIST 4
#define NET_RT_IFLISTL  5

struct sockaddr {
    unsigned char sa_len;
    sa_family_t   sa_family;
    char          sa_data[14];
};

struct sockaddr_storage {
    unsigned char ss_len;
    sa_family_t   ss_family;
    char          __ss_pad1[6];
    int64_t       __ss_align;
    char          __ss_pad2[112];
};

#ifdef __cplusplus
static_assert(sizeof(struct sockaddr) == 16, "struct sockaddr is 16 bytes");
static_assert(sizeof(struct sockaddr_storage) == 128, "struct sockaddr_storage is 128 bytes");
#endif

/* socket(2) is the host's: its numbers for the families and types the module uses are FreeBSD's. */
#ifdef __cplusplus
extern "C" int socket(int domain, int type, int protocol) noexcept;
#endif
