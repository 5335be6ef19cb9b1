/* FreeBSD <netinet/in.h> (with <netinet6/in6.h>): Internet addresses. */
#pragma once
#include <sys/socket.h>

typedef uint16_t in_port_t;
typedef uint32_t in_addr_t;

#define IPPROTO_IP      0
#define IPPROTO_ICMP    1
#define IPPROTO_TCP     6
#define IPPROTO_UDP     17
#define IPPROTO_IPV6    41
#define IPPROTO_ICMPV6  58
#define IPPROTO_SCTP    132
#define IPPROTO_UDPLITE 136
#define IPPROTO_RAW     255

#define INET_ADDRSTRLEN  16
#define INET6_ADDRSTRLEN 46

struct in_addr {
    in_addr_t s_addr;
};

struct sockaddr_in {
    uint8_t        sin_len;
    sa_family_t    sin_family;
    in_port_t      sin_port;
    struct in_addr sin_addr;
    char           sin_zero[8];
};

struct in6_addr {
    union {
        uint8_t  __u6_addr8[16];
        uint16_t __u6_addr16[8];
        uint32_t __u6_addr32[4];
    } __u6_addr;
};
#define s6_addr __u6_addr.__u6_addr8

struct sockaddr_in6 {
    uint8_t         sin6_len;
    sa_family_t     sin6_family;
    in_port_t       sin6_port;
    uint32_t        sin6_flowinfo;
    struct in6_addr sin6_addr;
    uint32_t        sin6_scope_id;
};

#ifdef __cplusplus
static_assert(sizeof(struct sockaddr_in) == 16, "struct sockaddr_in is 16 bytes");
static_assert(sizeof(struct sockaddr_in6) == 28, "struct sockaddr_in6 is 28 bytes");
#endif
