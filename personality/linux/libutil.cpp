// Placeholder until the utility library calls land.
#include <libutil.h>

#include <cerrno>

struct kinfo_file *kinfo_getfile(pid_t, int *) {
    errno = ENOSYS;
    return nullptr;
}

struct kinfo_vmentry *kinfo_getvmmap(pid_t, int *) {
    errno = ENOSYS;
    return nullptr;
}
