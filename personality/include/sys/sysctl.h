/* FreeBSD <sys/sysctl.h>: the management information base and its two calls. */
#pragma once
#include <sys/types.h>

#define CTL_MAXNAME 24

/* A node's kind: its type in the low bits, then its flags. */
#define CTLTYPE        0xf
#define CTLTYPE_NODE   1
#define CTLTYPE_INT    2
#define CTLTYPE_STRING 3
#define CTLTYPE_S64    4
#define CTLTYPE_OPAQUE 5
#define CTLTYPE_STRUCT CTLTYPE_OPAQUE
#define CTLTYPE_UINT   6
#define CTLTYPE_LONG   7
#define CTLTYPE_ULONG  8
#define CTLTYPE_U64    9
#define CTLTYPE_U8     0xa
#define CTLTYPE_U16    0xb
#define CTLTYPE_S8     0xc
#define CTLTYPE_S16    0xd
#define CTLTYPE_S32    0xe
#define CTLTYPE_U32    0xf

#define CTLFLAG_RD      0x80000000
#define CTLFLAG_WR      0x40000000
#define CTLFLAG_RW      (CTLFLAG_RD | CTLFLAG_WR)
#define CTLFLAG_DORMANT 0x20000000
#define CTLFLAG_ANYBODY 0x10000000
#define CTLFLAG_SECURE  0x08000000
#define CTLFLAG_PRISON  0x04000000
#define CTLFLAG_DYN     0x02000000
#define CTLFLAG_SKIP    0x01000000
#define CTLMASK_SECURE  0x00F00000
#define CTLFLAG_TUN     0x00080000
#define CTLFLAG_RDTUN   (CTLFLAG_RD | CTLFLAG_TUN)
#define CTLFLAG_RWTUN   (CTLFLAG_RW | CTLFLAG_TUN)
#define CTLFLAG_MPSAFE  0x00040000
#define CTLFLAG_VNET    0x00020000
#define CTLFLAG_DYING   0x00010000
#define CTLFLAG_CAPRD   0x00008000
#define CTLFLAG_CAPWR   0x00004000
#define CTLFLAG_STATS   0x00002000
#define CTLFLAG_NOFETCH 0x00001000
#define CTLFLAG_CAPRW   (CTLFLAG_CAPRD | CTLFLAG_CAPWR)

#define OID_AUTO       (-1)
#define CTL_AUTO_START 0x100

/* The tree's own nodes, under CTL_SYSCTL. */
#define CTL_SYSCTL             0
#define CTL_SYSCTL_DEBUG       0
#define CTL_SYSCTL_NAME        1
#define CTL_SYSCTL_NEXT        2
#define CTL_SYSCTL_NAME2OID    3
#define CTL_SYSCTL_OIDFMT      4
#define CTL_SYSCTL_OIDDESCR    5
#define CTL_SYSCTL_OIDLABEL    6
#define CTL_SYSCTL_NEXTNOSKIP  7

#define CTL_KERN 1
#define CTL_VM   2
#define CTL_VFS  3
#define CTL_NET  4
#define CTL_HW   6
#define CTL_USER 8

#define KERN_MAXPROC   6
#define KERN_ARGMAX    8
#define KERN_HOSTNAME  10
#define KERN_PROC      14
#define KERN_FILE      15
#define KERN_BOOTTIME  21
#define KERN_OSRELDATE 24

/* Third level of KERN_PROC. */
#define KERN_PROC_ALL        0
#define KERN_PROC_PID        1
#define KERN_PROC_PGRP       2
#define KERN_PROC_UID        5
#define KERN_PROC_ARGS       7
#define KERN_PROC_PROC       8
#define KERN_PROC_PATHNAME   12
#define KERN_PROC_INC_THREAD 0x10
#define KERN_PROC_VMMAP      32
#define KERN_PROC_FILEDESC   33
#define KERN_PROC_GROUPS     34
#define KERN_PROC_ENV        35
#define KERN_PROC_RLIMIT     37
#define KERN_PROC_UMASK      39
#define KERN_PROC_CWD        42
#define KERN_PROC_NFDS       43

#define HW_MACHINE  1
#define HW_MODEL    2
#define HW_NCPU     3
#define HW_PHYSMEM  5
#define HW_PAGESIZE 7
#define HW_REALMEM  12

#ifdef __cplusplus
extern "C" {
#endif
int sysctl(const int *name, unsigned int namelen, void *oldp, size_t *oldlenp, const void *newp,
           size_t newlen) __asm__("freebsd_sysctl");
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen)
    __asm__("freebsd_sysctlbyname");
int sysctlnametomib(const char *name, int *mibp, size_t *sizep) __asm__("freebsd_sysctlnametomib");
#ifdef __cplusplus
}
#endif
