/* FreeBSD <kvm.h>: the kernel-memory access library. */
#pragma once
#include <sys/types.h>
#include <sys/user.h>

typedef struct __kvm kvm_t;

/* One swap device, or the totals over all of them; sizes in pages. */
struct kvm_swap {
    char ksw_devname[32];
    u_int ksw_used;
    u_int ksw_total;
    int ksw_flags;
    u_int ksw_reserved1;
    u_int ksw_reserved2;
};

#define SWIF_DEV_PREFIX 0x0002 /* device names with their "/dev/" */

#ifdef __cplusplus
extern "C" {
#endif
/* Diagnostics go to stderr behind errstr. */
kvm_t *kvm_open(const char *execfile, const char *corefile, const char *swapfile, int flags, const char *errstr)
    __asm__("freebsd_kvm_open");
kvm_t *kvm_openfiles(const char *execfile, const char *corefile, const char *swapfile, int flags, char *errbuf)
    __asm__("freebsd_kvm_openfiles");
int kvm_close(kvm_t *kd) __asm__("freebsd_kvm_close");
char *kvm_geterr(kvm_t *kd) __asm__("freebsd_kvm_geterr");
struct kinfo_proc *kvm_getprocs(kvm_t *kd, int op, int arg, int *cnt) __asm__("freebsd_kvm_getprocs");
char **kvm_getargv(kvm_t *kd, const struct kinfo_proc *p, int nchr) __asm__("freebsd_kvm_getargv");
char **kvm_getenvv(kvm_t *kd, const struct kinfo_proc *p, int nchr) __asm__("freebsd_kvm_getenvv");
int kvm_getswapinfo(kvm_t *kd, struct kvm_swap *swap_ary, int swap_max, int flags) __asm__("freebsd_kvm_getswapinfo");
#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(struct kvm_swap) == 52, "struct kvm_swap is 52 bytes");
#endif
