/* FreeBSD <sys/un.h>: local-domain socket addresses. */
#pragma once
#include <sys/socket.h>

#define SUNPATHLEN 104

struct sockaddr_un {
    unsigned char sun_len;
    sa_family_t   sun_family;
    char          sun_path[SUNPATHLEN];
};

#ifdef __cplusplus
static_assert(sizeof(struct sockaddr_un) == 106, "struct sockaddr_un is 106 bytes");
#endif
