/* FreeBSD <ifaddrs.h>: the interface address list. */
#pragma once
#include <sys/types.h>
#include <sys/socket.h>

struct ifaddrs {
    struct ifaddrs  *ifa_next;
    char            *ifa_name;
    unsigned int     ifa_flags;
    struct sockaddr *ifa_addr;
    struct sockaddr *ifa_netmask;
    struct sockaddr *ifa_dstaddr;
    void            *ifa_data;
};
#define ifa_broadaddr ifa_dstaddr

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct ifaddrs) == 56, "struct ifaddrs is 56 bytes");
static_assert(offsetof(struct ifaddrs, ifa_dstaddr) == 40);
extern "C" {
#endif
int getifaddrs(struct ifaddrs **) __asm__("freebsd_getifaddrs");
void freeifaddrs(struct ifaddrs *) __asm__("freebsd_freeifaddrs");
#ifdef __cplusplus
}
#endif
