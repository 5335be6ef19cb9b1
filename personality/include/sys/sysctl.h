/* FreeBSD <sys/sysctl.h>: the management information base and its two calls. */
#pragma once
#include <sys/types.h>

#define CTL_MAXNAME 24

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
