/* FreeBSD <kvm.h>: the kernel-memory access library. */
#pragma once
#include <sys/types.h>
#include <sys/user.h>

typedef struct __kvm kvm_t;

#ifdef __cplusplus
extern "C" {
#endif
kvm_t *kvm_openfiles(const char *execfile, const char *corefile, const char *swapfile, int flags, char *errbuf)
    __asm__("freebsd_kvm_openfiles");
int kvm_close(kvm_t *kd) __asm__("freebsd_kvm_close");
char *kvm_geterr(kvm_t *kd) __asm__("freebsd_kvm_geterr");
struct kinfo_proc *kvm_getprocs(kvm_t *kd, int op, int arg, int *cnt) __asm__("freebsd_kvm_getprocs");
char **kvm_getenvv(kvm_t *kd, const struct kinfo_proc *p, int nchr) __asm__("freebsd_kvm_getenvv");
#ifdef __cplusplus
}
#endif
