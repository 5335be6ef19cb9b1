/* FreeBSD <net/if_media.h>: the media word: network type, subtype and options. */
#pragma once

#define IFM_NMASK     0xe0
#define IFM_TMASK     0x1f
#define IFM_IMASK     0xf0000000
#define IFM_ISHIFT    28
#define IFM_OMASK     0x0000ff00
#define IFM_MMASK     0x00070000
#define IFM_MSHIFT    16
#define IFM_GMASK     0x0ff00000

#define IFM_ETHER     0x00000020
#define IFM_IEEE80211 0x00000080
#define IFM_ATM       0x000000a0

#define IFM_AUTO   0
#define IFM_MANUAL 1
#define IFM_NONE   2

#define IFM_FDX  0x00100000
#define IFM_HDX  0x00200000
#define IFM_FLOW 0x00400000
#define IFM_LOOP 0x08000000

#define IFM_AVALID 0x00000001
#define IFM_ACTIVE 0x00000002

#define IFM_ETH_XTYPE  0x00007800
#define IFM_ETH_XSHIFT (11 - 5)
#define IFM_X(x)       (((x) & IFM_TMASK) | (((x) & (IFM_ETH_XTYPE >> IFM_ETH_XSHIFT)) << IFM_ETH_XSHIFT))

/* Ethernet subtypes. */
#define IFM_10_T            3
#define IFM_10_2            4
#define IFM_10_5            5
#define IFM_100_TX          6
#define IFM_100_FX          7
#define IFM_100_T4          8
#define IFM_100_VG          9
#define IFM_100_T2          10
#define IFM_1000_SX         11
#define IFM_10_STP          12
#define IFM_10_FL           13
#define IFM_1000_LX         14
#define IFM_1000_CX         15
#define IFM_1000_T          16
#define IFM_HPNA_1          17
#define IFM_10G_LR          18
#define IFM_10G_SR          19
#define IFM_10G_CX4         20
#define IFM_2500_SX         21
#define IFM_10G_TWINAX      22
#define IFM_10G_TWINAX_LONG 23
#define IFM_10G_LRM         24
#define IFM_UNKNOWN         25
#define IFM_10G_T           26
#define IFM_40G_CR4         27
#define IFM_40G_SR4         28
#define IFM_40G_LR4         29
#define IFM_1000_KX         30
#define IFM_OTHER           31
#define IFM_2500_T          IFM_X(37)
#define IFM_5000_T          IFM_X(38)
#define IFM_25G_CR          IFM_X(53)
#define IFM_50G_CR2         IFM_X(56)
#define IFM_100G_CR4        IFM_X(47)
#define IFM_200G_CR4_PAM4   IFM_X(103)
#define IFM_400G_AUI8       IFM_X(117)

/* IEEE 802.11 subtypes. */
#define IFM_IEEE80211_FH1  3
#define IFM_IEEE80211_FH2  4
#define IFM_IEEE80211_DS1  5
#define IFM_IEEE80211_DS2  6
#define IFM_IEEE80211_DS5  7
#define IFM_IEEE80211_DS11 8
#define IFM_IEEE80211_DS22 9
