/* FreeBSD <kvm.h> (libkvm), as FreeBSD 14 installs it: the part the cross-build needs,
 * with the prototypes of kvm(3), kvm_open(3), kvm_getprocs(3), kvm_getswapinfo(3),
 * kvm_getloadavg(3), kvm_getcptime(3), kvm_getpcpu(3) and kvm_read(3). Used only by the
 * cross-build: the toolchain ships FreeBSD's libc headers, not libkvm's. */
#ifndef _KVM_H_
#define _KVM_H_

#include <sys/cdefs.h>
#include <sys/types.h>
#include <nlist.h>

/* Default version symbol. */
#define VRS_SYM "_version"
#define VRS_KEY "VERSION"

struct kvm_nlist {
    const char *n_name;
    unsigned char n_type;
    kvaddr_t n_value;
};

typedef struct __kvm kvm_t;

struct kinfo_proc;
struct proc;

struct kvm_swap {
    char ksw_devname[32];
    u_int ksw_used;
    u_int ksw_total;
    int ksw_flags;
    u_int ksw_reserved1;
    u_int ksw_reserved2;
};

#define SWIF_DEV_PREFIX 0x0002

__BEGIN_DECLS
int kvm_close(kvm_t *);
int kvm_dpcpu_setcpu(kvm_t *, unsigned int);
char **kvm_getargv(kvm_t *, const struct kinfo_proc *, int);
int kvm_getcptime(kvm_t *, long *);
char **kvm_getenvv(kvm_t *, const struct kinfo_proc *, int);
char *kvm_geterr(kvm_t *);
int kvm_getloadavg(kvm_t *, double[], int);
int kvm_getmaxcpu(kvm_t *);
int kvm_getncpus(kvm_t *);
void *kvm_getpcpu(kvm_t *, int);
uint64_t kvm_counter_u64_fetch(kvm_t *, u_long);
struct kinfo_proc *kvm_getprocs(kvm_t *, int, int, int *);
int kvm_getswapinfo(kvm_t *, struct kvm_swap *, int, int);
int kvm_native(kvm_t *);
int kvm_nlist(kvm_t *, struct nlist *);
int kvm_nlist2(kvm_t *, struct kvm_nlist *);
kvm_t *kvm_open(const char *, const char *, const char *, int, const char *);
kvm_t *kvm_openfiles(const char *, const char *, const char *, int, char *);
kvm_t *kvm_open2(const char *, const char *, int, char *, int (*)(const char *, kvaddr_t *, void *), void *);
ssize_t kvm_read(kvm_t *, unsigned long, void *, size_t);
ssize_t kvm_read_zpcpu(kvm_t *, unsigned long, void *, size_t, int);
ssize_t kvm_read2(kvm_t *, kvaddr_t, void *, size_t);
ssize_t kvm_write(kvm_t *, unsigned long, const void *, size_t);
__END_DECLS

#endif /* !_KVM_H_ */
