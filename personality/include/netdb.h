/* FreeBSD <netdb.h>: getnameinfo(3), its flags and error codes. */
#pragma once
#include <sys/types.h>
#include <sys/socket.h>

#define NI_MAXHOST 1025
#define NI_MAXSERV 32

#define NI_NOFQDN       0x00000001
#define NI_NUMERICHOST  0x00000002
#define NI_NAMEREQD     0x00000004
#define NI_NUMERICSERV  0x00000008
#define NI_DGRAM        0x00000010
#define NI_NUMERICSCOPE 0x00000020

#define EAI_AGAIN    2
#define EAI_BADFLAGS 3
#define EAI_FAIL     4
#define EAI_FAMILY   5
#define EAI_MEMORY   6
#define EAI_NONAME   8
#define EAI_SERVICE  9
#define EAI_SOCKTYPE 10
#define EAI_SYSTEM   11
#define EAI_OVERFLOW 14

#ifdef __cplusplus
extern "C" {
#endif
int getnameinfo(const struct sockaddr *, socklen_t, char *, size_t, char *, size_t, int)
    __asm__("freebsd_getnameinfo");
#ifdef __cplusplus
}
#endif
