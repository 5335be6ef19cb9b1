/* FreeBSD <devstat.h>: the device-statistics library. */
#pragma once
#include <sys/types.h>
#include <sys/devicestat.h>
#include <kvm.h>
#include <stddef.h>

#define DEVSTAT_USER_API_VER 6
#define DEVSTAT_ERRBUF_SIZE  2048

struct devinfo {
    struct devstat *devices;
    u_int8_t *mem_ptr; /* allocated by the library; the caller frees it */
    long generation;
    int numdevs;
};

struct statinfo {
    long cp_time[5];
    long tk_nin;
    long tk_nout;
    struct devinfo *dinfo;
    long double snap_time;
};

#ifdef __cplusplus
static_assert(sizeof(struct devinfo) == 32, "FreeBSD's struct devinfo");
static_assert(sizeof(struct statinfo) == 80 && offsetof(struct statinfo, dinfo) == 56, "FreeBSD's struct statinfo");
extern "C" {
#endif
extern char devstat_errbuf[DEVSTAT_ERRBUF_SIZE] __asm__("freebsd_devstat_errbuf");
int devstat_checkversion(kvm_t *kd) __asm__("freebsd_devstat_checkversion");
int devstat_getdevs(kvm_t *kd, struct statinfo *stats) __asm__("freebsd_devstat_getdevs");
#ifdef __cplusplus
}
#endif
