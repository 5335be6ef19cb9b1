/* FreeBSD <sys/socketvar.h>: a socket as the control block lists export it. */
#pragma once
#include <sys/types.h>

typedef uint64_t so_gen_t;

#define SS_ISCONNECTED     0x0002
#define SS_ISCONNECTING    0x0004
#define SS_ISDISCONNECTING 0x0008
#define SS_ISDISCONNECTED  0x2000

struct xsocket {
    ksize_t  xso_len;
    kvaddr_t xso_so;
    kvaddr_t so_pcb;
    uint64_t so_oobmark;
    int64_t  so_spare64[8];
    int32_t  xso_protocol;
    int32_t  xso_family;
    uint32_t so_qlen;
    uint32_t so_incqlen;
    uint32_t so_qlimit;
    pid_t    so_pgid;
    uid_t    so_uid;
    int32_t  so_spare32[8];
    int16_t  so_type;
    int16_t  so_options;
    int16_t  so_linger;
    int16_t  so_state;
    int16_t  so_timeo;
    uint16_t so_error;
    struct xsockbuf {
        uint32_t sb_cc;
        uint32_t sb_hiwat;
        uint32_t sb_mbcnt;
        uint32_t sb_spare0;
        uint32_t sb_spare1;
        uint32_t sb_mbmax;
        int32_t  sb_lowat;
        int32_t  sb_timeo;
        int16_t  sb_flags;
    } so_rcv, so_snd;
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct xsocket) == 240, "struct xsocket is 240 bytes");
static_assert(offsetof(struct xsocket, xso_so) == 8 && offsetof(struct xsocket, xso_protocol) == 96 &&
              offsetof(struct xsocket, so_type) == 156 && offsetof(struct xsocket, so_rcv) == 168 &&
              offsetof(struct xsocket, so_snd) == 204, "struct xsocket fields at FreeBSD's offsets");
#endif
