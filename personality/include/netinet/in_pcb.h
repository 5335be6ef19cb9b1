/* FreeBSD <netinet/in_pcb.h>: Internet protocol control blocks as the pcblist nodes export
 * them. Include <sys/socketvar.h> first, as on FreeBSD. */
#pragma once
#include <netinet/in.h>
#include <sys/socketvar.h>

typedef uint64_t inp_gen_t;

/* An IPv4 address is kept in the last 4 bytes of a 16-byte endpoint. */
struct in_addr_4in6 {
    u_int32_t      ia46_pad32[3];
    struct in_addr ia46_addr4;
};

union in_dependaddr {
    struct in_addr_4in6 id46_addr;
    struct in6_addr     id6_addr;
};

struct in_endpoints {
    u_int16_t           ie_fport;
    u_int16_t           ie_lport;
    union in_dependaddr ie_dependfaddr;
    union in_dependaddr ie_dependladdr;
    u_int32_t           ie6_zoneid;
};
#define ie_faddr  ie_dependfaddr.id46_addr.ia46_addr4
#define ie_laddr  ie_dependladdr.id46_addr.ia46_addr4
#define ie6_faddr ie_dependfaddr.id6_addr
#define ie6_laddr ie_dependladdr.id6_addr

struct in_conninfo {
    u_int8_t            inc_flags;
    u_int8_t            inc_len;
    u_int16_t           inc_fibnum;
    struct in_endpoints inc_ie;
};
#define INC_ISIPV6  0x01
#define inc_fport   inc_ie.ie_fport
#define inc_lport   inc_ie.ie_lport
#define inc_faddr   inc_ie.ie_faddr
#define inc_laddr   inc_ie.ie_laddr
#define inc6_faddr  inc_ie.ie6_faddr
#define inc6_laddr  inc_ie.ie6_laddr
#define inc6_zoneid inc_ie.ie6_zoneid

/* inp_vflag */
#define INP_IPV4      0x1
#define INP_IPV6      0x2
#define INP_IPV6PROTO 0x4

struct xinpcb {
    ksize_t            xi_len;
    struct xsocket     xi_socket;
    struct in_conninfo inp_inc;
    uint64_t           inp_gencnt;
    kvaddr_t           inp_ppcb;
    int64_t            inp_spare64[4];
    uint32_t           inp_flow;
    uint32_t           inp_flowid;
    uint32_t           inp_flowtype;
    int32_t            inp_flags;
    int32_t            inp_flags2;
    uint32_t           inp_unused;
    int32_t            in6p_cksum;
    int32_t            inp_spare32[4];
    uint16_t           in6p_hops;
    uint8_t            inp_ip_tos;
    int8_t             pad8;
    uint8_t            inp_vflag;
    uint8_t            inp_ip_ttl;
    uint8_t            inp_ip_p;
    uint8_t            inp_ip_minttl;
    int8_t             inp_spare8[4];
};
#define inp_fport   inp_inc.inc_fport
#define inp_lport   inp_inc.inc_lport
#define inp_faddr   inp_inc.inc_faddr
#define inp_laddr   inp_inc.inc_laddr
#define in6p_faddr  inp_inc.inc6_faddr
#define in6p_laddr  inp_inc.inc6_laddr
#define in6p_zoneid inp_inc.inc6_zoneid

/* The leading and trailing records of a list. */
struct xinpgen {
    ksize_t   xig_len;
    u_int     xig_count;
    uint32_t  _xig_spare32;
    inp_gen_t xig_gen;
    so_gen_t  xig_sogen;
    uint64_t  _xig_spare64[4];
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct in_conninfo) == 44, "struct in_conninfo is 44 bytes");
static_assert(sizeof(struct xinpcb) == 400, "struct xinpcb is 400 bytes");
static_assert(sizeof(struct xinpgen) == 64, "struct xinpgen is 64 bytes");
static_assert(offsetof(struct xinpgen, xig_gen) == 16, "xig_gen 16 bytes in");
static_assert(offsetof(struct xinpcb, xi_socket.xso_so) == 16 && offsetof(struct xinpcb, xi_socket.xso_protocol) == 104 &&
              offsetof(struct xinpcb, xi_socket.xso_family) == 108 && offsetof(struct xinpcb, xi_socket.so_type) == 164 &&
              offsetof(struct xinpcb, inp_fport) == 252 && offsetof(struct xinpcb, inp_lport) == 254 &&
              offsetof(struct xinpcb, in6p_faddr) == 256 && offsetof(struct xinpcb, inp_faddr) == 268 &&
              offsetof(struct xinpcb, in6p_laddr) == 272 && offsetof(struct xinpcb, inp_laddr) == 284 &&
              offsetof(struct xinpcb, inp_gencnt) == 296 && offsetof(struct xinpcb, inp_vflag) == 392,
              "struct xinpcb fields at FreeBSD's offsets");
#endif
