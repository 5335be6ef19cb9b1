/* FreeBSD <netinet/tcp_var.h>: a TCP control block as net.inet.tcp.pcblist exports it.
 * Include <sys/socketvar.h> and <netinet/in_pcb.h> first, as on FreeBSD. */
#pragma once
#include <netinet/in_pcb.h>

#define TCP_FUNCTION_NAME_LEN_MAX 32
#define TCP_LOG_ID_LEN            64
#define TCP_CA_NAME_MAX           16

struct xtcpcb {
    ksize_t       xt_len;
    struct xinpcb xt_inp;
    char          xt_stack[TCP_FUNCTION_NAME_LEN_MAX];
    char          xt_logid[TCP_LOG_ID_LEN];
    char          xt_cc[TCP_CA_NAME_MAX];
    int64_t       spare64[6];
    int32_t       t_state;
    uint32_t      t_flags;
    int32_t       t_sndzerowin;
    int32_t       t_sndrexmitpack;
    int32_t       t_rcvoopack;
    int32_t       t_rcvtime;
    int32_t       tt_rexmt;
    int32_t       tt_persist;
    int32_t       tt_keep;
    int32_t       tt_2msl;
    int32_t       tt_delack;
    int32_t       t_logstate;
    uint32_t      t_snd_cwnd;
    uint32_t      t_snd_ssthresh;
    uint32_t      t_maxseg;
    uint32_t      t_rcv_wnd;
    uint32_t      t_snd_wnd;
    uint32_t      xt_ecn;
    uint32_t      t_dsack_bytes;
    uint32_t      t_dsack_tlp_bytes;
    uint32_t      t_dsack_pack;
    uint16_t      xt_encaps_port;
    int16_t       spare16;
    int32_t       spare32[22];
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct xtcpcb) == 744, "struct xtcpcb is 744 bytes");
static_assert(offsetof(struct xtcpcb, xt_inp) == 8 && offsetof(struct xtcpcb, t_state) == 568 &&
              offsetof(struct xtcpcb, xt_encaps_port) == 652, "struct xtcpcb fields at FreeBSD's offsets");
#endif
