/* FreeBSD <arpa/inet.h>: byte order and the text form of addresses in FreeBSD's families. */
#pragma once
#include <netinet/in.h>

#ifndef htons
#define htons(x) ((uint16_t)__builtin_bswap16((uint16_t)(x)))
#define ntohs(x) ((uint16_t)__builtin_bswap16((uint16_t)(x)))
#define htonl(x) ((uint32_t)__builtin_bswap32((uint32_t)(x)))
#define ntohl(x) ((uint32_t)__builtin_bswap32((uint32_t)(x)))
#endif

#ifdef __cplusplus
extern "C" {
#endif
/* af is AF_INET or AF_INET6 (28); NULL with errno EAFNOSUPPORT or ENOSPC otherwise. */
const char *inet_ntop(int af, const void *__restrict src, char *__restrict dst, socklen_t size)
    __asm__("freebsd_inet_ntop");
#ifdef __cplusplus
}
#endif
