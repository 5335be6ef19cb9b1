/* FreeBSD <net/if_types.h>: the interface types the personality reports. */
#pragma once

#define IFT_OTHER       0x1
#define IFT_ETHER       0x6
#define IFT_PPP         0x17
#define IFT_LOOP        0x18
#define IFT_PROPVIRTUAL 0x35
#define IFT_IEEE80211   0x47
#define IFT_TUNNEL      0x83
#define IFT_L2VLAN      0x87
#define IFT_INFINIBAND  0xc7
#define IFT_BRIDGE      0xd1
#define IFT_GIF         0xf0
