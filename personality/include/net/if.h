/* FreeBSD <net/if.h>: interface flags, the interface list messages and the interface requests. */
#pragma once
#include <sys/types.h>
#include <sys/socket.h>
#include <sys/time.h>

#define IF_NAMESIZE 16
#define IFNAMSIZ    IF_NAMESIZE

#define IFF_UP          0x1
#define IFF_BROADCAST   0x2
#define IFF_DEBUG       0x4
#define IFF_LOOPBACK    0x8
#define IFF_POINTOPOINT 0x10
#define IFF_NEEDSEPOCH  0x20
#define IFF_DRV_RUNNING 0x40
#define IFF_RUNNING     IFF_DRV_RUNNING
#define IFF_NOARP       0x80
#define IFF_PROMISC     0x100
#define IFF_ALLMULTI    0x200
#define IFF_DRV_OACTIVE 0x400
#define IFF_OACTIVE     IFF_DRV_OACTIVE
#define IFF_SIMPLEX     0x800
#define IFF_LINK0       0x1000
#define IFF_LINK1       0x2000
#define IFF_LINK2       0x4000
#define IFF_ALTPHYS     IFF_LINK2
#define IFF_MULTICAST   0x8000
#define IFF_CANTCONFIG  0x10000
#define IFF_PPROMISC    0x20000
#define IFF_MONITOR     0x40000
#define IFF_STATICARP   0x80000
#define IFF_STICKYARP   0x100000
#define IFF_DYING       0x200000
#define IFF_RENAMING    0x400000

#define LINK_STATE_UNKNOWN 0
#define LINK_STATE_DOWN    1
#define LINK_STATE_UP      2

struct if_data {
    uint8_t  ifi_type;
    uint8_t  ifi_physical;
    uint8_t  ifi_addrlen;
    uint8_t  ifi_hdrlen;
    uint8_t  ifi_link_state;
    uint8_t  ifi_vhid;
    uint16_t ifi_datalen;
    uint32_t ifi_mtu;
    uint32_t ifi_metric;
    uint64_t ifi_baudrate;
    uint64_t ifi_ipackets;
    uint64_t ifi_ierrors;
    uint64_t ifi_opackets;
    uint64_t ifi_oerrors;
    uint64_t ifi_collisions;
    uint64_t ifi_ibytes;
    uint64_t ifi_obytes;
    uint64_t ifi_imcasts;
    uint64_t ifi_omcasts;
    uint64_t ifi_iqdrops;
    uint64_t ifi_oqdrops;
    uint64_t ifi_noproto;
    uint64_t ifi_hwassist;
    union {
        time_t   tt;
        uint64_t ph;
    } __ifi_epoch;
#define ifi_epoch __ifi_epoch.tt
    union {
        struct timeval tv;
        struct {
            uint64_t ph1;
            uint64_t ph2;
        } ph;
    } __ifi_lastchange;
#define ifi_lastchange __ifi_lastchange.tv
};

/* RTM_IFINFO: the interface's sockaddr_dl follows the header. */
struct if_msghdr {
    u_short        ifm_msglen;
    u_char         ifm_version;
    u_char         ifm_type;
    int            ifm_addrs;
    int            ifm_flags;
    u_short        ifm_index;
    u_short        _ifm_spare1;
    struct if_data ifm_data;
};

/* RTM_NEWADDR: the address, its netmask and broadcast or peer address follow the header. */
struct ifa_msghdr {
    u_short ifam_msglen;
    u_char  ifam_version;
    u_char  ifam_type;
    int     ifam_addrs;
    int     ifam_flags;
    u_short ifam_index;
    u_short _ifam_spare1;
    int     ifam_metric;
};

struct ifreq_buffer {
    size_t length;
    void  *buffer;
};

struct ifreq_nv_req {
    u_int  buf_length;
    u_int  length;
    void  *buffer;
};

struct ifreq {
    char ifr_name[IFNAMSIZ];
    union {
        struct sockaddr     ifru_addr;
        struct sockaddr     ifru_dstaddr;
        struct sockaddr     ifru_broadaddr;
        struct ifreq_buffer ifru_buffer;
        short               ifru_flags[2];
        short               ifru_index;
        int                 ifru_jid;
        int                 ifru_metric;
        int                 ifru_mtu;
        int                 ifru_phys;
        int                 ifru_media;
        char               *ifru_data;
        int                 ifru_cap[2];
        u_int               ifru_fib;
        u_char              ifru_vlan_pcp;
        struct ifreq_nv_req ifru_nv;
    } ifr_ifru;
};
#define ifr_addr      ifr_ifru.ifru_addr
#define ifr_dstaddr   ifr_ifru.ifru_dstaddr
#define ifr_broadaddr ifr_ifru.ifru_broadaddr
#define ifr_buffer    ifr_ifru.ifru_buffer
#define ifr_flags     ifr_ifru.ifru_flags[0]
#define ifr_flagshigh ifr_ifru.ifru_flags[1]
#define ifr_metric    ifr_ifru.ifru_metric
#define ifr_mtu       ifr_ifru.ifru_mtu
#define ifr_phys      ifr_ifru.ifru_phys
#define ifr_media     ifr_ifru.ifru_media
#define ifr_data      ifr_ifru.ifru_data
#define ifr_reqcap    ifr_ifru.ifru_cap[0]
#define ifr_curcap    ifr_ifru.ifru_cap[1]
#define ifr_index     ifr_ifru.ifru_index

struct ifmediareq {
    char ifm_name[IFNAMSIZ];
    int  ifm_current;
    int  ifm_mask;
    int  ifm_status;
    int  ifm_active;
    int  ifm_count;
    int *ifm_ulist;
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct if_data) == 152, "struct if_data is 152 bytes");
static_assert(offsetof(struct if_data, ifi_iqdrops) == 96 && offsetof(struct if_data, __ifi_lastchange) == 136);
static_assert(sizeof(struct if_msghdr) == 168, "struct if_msghdr is 168 bytes");
static_assert(offsetof(struct if_msghdr, ifm_data) == 16 && offsetof(struct if_msghdr, ifm_index) == 12);
static_assert(sizeof(struct ifa_msghdr) == 20, "struct ifa_msghdr is 20 bytes");
static_assert(sizeof(struct ifreq) == 32, "struct ifreq is 32 bytes");
static_assert(offsetof(struct ifreq, ifr_ifru) == 16);
static_assert(sizeof(struct ifmediareq) == 48, "struct ifmediareq is 48 bytes");
static_assert(offsetof(struct ifmediareq, ifm_active) == 28 && offsetof(struct ifmediareq, ifm_ulist) == 40);
#endif
