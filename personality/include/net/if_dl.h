/* FreeBSD <net/if_dl.h>: link-level socket addresses. */
#pragma once
#include <sys/types.h>

struct sockaddr_dl {
    u_char  sdl_len;
    u_char  sdl_family;
    u_short sdl_index;
    u_char  sdl_type;
    u_char  sdl_nlen;   /* name length, the name first in sdl_data, not terminated */
    u_char  sdl_alen;   /* link-level address length, right after the name */
    u_char  sdl_slen;
    char    sdl_data[46];
};

#define LLADDR(s)  ((caddr_t)((s)->sdl_data + (s)->sdl_nlen))

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct sockaddr_dl) == 54, "struct sockaddr_dl is 54 bytes");
static_assert(offsetof(struct sockaddr_dl, sdl_data) == 8);
#endif
