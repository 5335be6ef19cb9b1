/* FreeBSD <libutil.h>: the process-information calls of the utility library. */
#pragma once
#include <sys/types.h>
#include <sys/user.h>

#ifdef __cplusplus
extern "C" {
#endif
/* Both return a malloc'ed array of unpacked records, to be freed by the caller, or NULL with errno set. */
struct kinfo_file *kinfo_getfile(pid_t pid, int *cntp) __asm__("freebsd_kinfo_getfile");
struct kinfo_vmentry *kinfo_getvmmap(pid_t pid, int *cntp) __asm__("freebsd_kinfo_getvmmap");
#ifdef __cplusplus
}
#endif
