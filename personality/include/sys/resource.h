/* FreeBSD <sys/resource.h>: resource usage, resource limits and priorities. */
#pragma once
#include <sys/types.h>
#include <sys/time.h>

#define PRIO_MIN     (-20)
#define PRIO_MAX     20
#define PRIO_PROCESS 0
#define PRIO_PGRP    1
#define PRIO_USER    2

struct rusage {
    struct timeval ru_utime;
    struct timeval ru_stime;
    long ru_maxrss;
    long ru_ixrss;
    long ru_idrss;
    long ru_isrss;
    long ru_minflt;
    long ru_majflt;
    long ru_nswap;
    long ru_inblock;
    long ru_oublock;
    long ru_msgsnd;
    long ru_msgrcv;
    long ru_nsignals;
    long ru_nvcsw;
    long ru_nivcsw;
};

#define RLIMIT_CPU     0
#define RLIMIT_FSIZE   1
#define RLIMIT_DATA    2
#define RLIMIT_STACK   3
#define RLIMIT_CORE    4
#define RLIMIT_RSS     5
#define RLIMIT_MEMLOCK 6
#define RLIMIT_NPROC   7
#define RLIMIT_NOFILE  8
#define RLIMIT_SBSIZE  9
#define RLIMIT_VMEM    10
#define RLIMIT_AS      RLIMIT_VMEM
#define RLIMIT_NPTS    11
#define RLIMIT_SWAP    12
#define RLIMIT_KQUEUES 13
#define RLIMIT_UMTXP   14
#define RLIM_NLIMITS   15

typedef int64_t rlim_t; /* signed on purpose */
#define RLIM_INFINITY ((rlim_t)(((uint64_t)1 << 63) - 1))

struct rlimit {
    rlim_t rlim_cur;
    rlim_t rlim_max;
};

/* CPU states of kern.cp_time and kern.cp_times, counted in statistics-clock ticks. */
#define CP_USER   0
#define CP_NICE   1
#define CP_SYS    2
#define CP_INTR   3
#define CP_IDLE   4
#define CPUSTATES 5

#ifdef __cplusplus
extern "C" {
#endif
/* A process's nice value covers all its threads; a thread id is no process. */
int getpriority(int which, int who) __asm__("freebsd_getpriority");
int setpriority(int which, int who, int prio) __asm__("freebsd_setpriority");
#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(struct rusage) == 144, "struct rusage is 144 bytes");
static_assert(sizeof(struct rlimit) == 16, "struct rlimit is 16 bytes");
#endif
