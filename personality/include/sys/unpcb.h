/* FreeBSD <sys/unpcb.h>: local-domain control blocks as the net.local pcblist nodes export
 * them. Include <sys/socketvar.h> first, as on FreeBSD. */
#pragma once
#include <sys/socketvar.h>
#include <sys/un.h>

typedef uint64_t unp_gen_t;

struct xunpcb {
    ksize_t   xu_len;
    kvaddr_t  xu_unpp;
    kvaddr_t  unp_vnode;
    kvaddr_t  unp_conn;
    kvaddr_t  xu_firstref;
    kvaddr_t  xu_nextref;
    unp_gen_t unp_gencnt;
    int64_t   xu_spare64[8];
    int32_t   xu_spare32[8];
    union {
        struct sockaddr_un xu_addr;   /* the socket's own bound address */
        char               xu_dummy1[256];
    };
    union {
        struct sockaddr_un xu_caddr;  /* its peer's */
        char               xu_dummy2[256];
    };
    struct xsocket xu_socket;
};

/* The leading and trailing records of a list. */
struct xunpgen {
    ksize_t   xug_len;
    u_int     xug_count;
    unp_gen_t xug_gen;
    so_gen_t  xug_sogen;
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct xunpcb) == 904, "struct xunpcb is 904 bytes");
static_assert(sizeof(struct xunpgen) == 32, "struct xunpgen is 32 bytes");
static_assert(offsetof(struct xunpgen, xug_gen) == 16, "xug_gen 16 bytes in");
static_assert(offsetof(struct xunpcb, xu_addr) == 152 && offsetof(struct xunpcb, xu_caddr) == 408 &&
              offsetof(struct xunpcb, xu_socket) == 664, "struct xunpcb fields at FreeBSD's offsets");
#endif
