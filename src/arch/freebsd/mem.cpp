#include "arch/freebsd/mem.h"

#include <sys/types.h>
#include <sys/sysctl.h>
#include <sys/vmmeter.h>
#include <vm/vm_param.h>
#include <fcntl.h>
#include <kvm.h>
#include <malloc_np.h>

#include <cerrno>
#include <cstdint>

#include "arch/all/errors.h"
#include "arch/all/pending_error.h"
#include "arch/all/str.h"
#include "arch/freebsd/kvm_handle.h"
#include "arch/posix/posix.h"
#include "arch/posix/sysctl.h"

static uint64_t bytes_of(u_int pages, long page_size) {
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

PyObject *lumvik_virtual_mem(PyObject *, PyObject *) {
    long page_size = lumvik_getpagesize();
    unsigned long total = 0;
    u_int active = 0, inactive = 0, wired = 0, cached = 0, free_pages = 0;
    long buffers = 0;

    const struct {
        const char *name;
        void *value;
        size_t size;
    } before_cache[] = {
        {"hw.physmem", &total, sizeof(total)},
        {"vm.stats.vm.v_active_count", &active, sizeof(active)},
        {"vm.stats.vm.v_inactive_count", &inactive, sizeof(inactive)},
        {"vm.stats.vm.v_wire_count", &wired, sizeof(wired)},
    }, after_cache[] = {
        {"vm.stats.vm.v_free_count", &free_pages, sizeof(free_pages)},
        {"vfs.bufspace", &buffers, sizeof(buffers)},
    };
    for (const auto &r : before_cache)
        if (lumvik_sysctlbyname(r.name, r.value, r.size) != 0)
            return nullptr;
    // FreeBSD keeps this count for compatibility only; a kernel without it has nothing cached there.
    if (lumvik_sysctlbyname("vm.stats.vm.v_cache_count", &cached, sizeof(cached)) != 0) {
        PyErr_Clear();
        cached = 0;
    }
    for (const auto &r : after_cache)
        if (lumvik_sysctlbyname(r.name, r.value, r.size) != 0)
            return nullptr;

    struct vmtotal vm = {};
    int mib[] = {CTL_VM, VM_TOTAL};
    if (lumvik_sysctl(mib, 2, &vm, sizeof(vm)) != 0) {
        int err = pending_oserror_number();
        if (err == 0)  // no system error behind it: that exception stands
            return nullptr;
        PyErr_Clear();
        errno = err;
        return lumvik_oserror_wsyscall("sysctl(CTL_VM | VM_METER)");
    }
    uint64_t shared = (vm.t_vmshr + vm.t_rmshr) * static_cast<uint64_t>(page_size);
    return Py_BuildValue("KKKKKKKK", static_cast<unsigned long long>(total),
                         static_cast<unsigned long long>(bytes_of(free_pages, page_size)),
                         static_cast<unsigned long long>(bytes_of(active, page_size)),
                         static_cast<unsigned long long>(bytes_of(inactive, page_size)),
                         static_cast<unsigned long long>(bytes_of(wired, page_size)),
                         static_cast<unsigned long long>(bytes_of(cached, page_size)),
                         static_cast<unsigned long long>(buffers), static_cast<unsigned long long>(shared));
}

PyObject *lumvik_swap_mem(PyObject *, PyObject *) {
    long page_size = lumvik_getpagesize();
    // "/dev/null" as the memory file: no kernel memory is opened, the library answers by sysctl.
    KvmHandle kd(kvm_open(nullptr, "/dev/null", nullptr, O_RDONLY, "kvm_open failed"));
    if (!kd)
        return lumvik_runtime_error("kvm_open() syscall failed");
    struct kvm_swap swap[1] = {};
    int found = kvm_getswapinfo(kd.get(), swap, 1, 0);  // with room for one entry: the totals
    kd.reset();
    if (found < 0)
        return lumvik_runtime_error("kvm_getswapinfo() syscall failed");

    u_int swapin = 0, swapout = 0, vnodein = 0, vnodeout = 0;
    const struct {
        const char *name;
        u_int *value;
    } reads[] = {
        {"vm.stats.vm.v_swapin", &swapin},
        {"vm.stats.vm.v_swapout", &swapout},
        {"vm.stats.vm.v_vnodein", &vnodein},
        {"vm.stats.vm.v_vnodeout", &vnodeout},
    };
    for (const auto &r : reads)
        if (lumvik_sysctlbyname(r.name, r.value, sizeof(*r.value)) != 0)
            return nullptr;

    uint64_t total = bytes_of(swap[0].ksw_total, page_size);
    uint64_t used = bytes_of(swap[0].ksw_used, page_size);
    uint64_t free_bytes = used < total ? total - used : 0;  // never wrapped to an enormous figure
    return Py_BuildValue("(KKKII)", static_cast<unsigned long long>(total), static_cast<unsigned long long>(used),
                         static_cast<unsigned long long>(free_bytes), static_cast<unsigned int>(swapin + swapout),
                         static_cast<unsigned int>(vnodein + vnodeout));
}

// mallctl returns its error number without promising errno: the OSError is made from it.
static PyObject *raise_mallctl(int result, const char *call) {
    errno = result;
    return lumvik_oserror_wsyscall(call);
}

PyObject *lumvik_heap_info(PyObject *, PyObject *) {
    if (int rc = mallctl("thread.tcache.flush", nullptr, nullptr, nullptr, 0))
        return raise_mallctl(rc, "mallctl('thread.tcache.flush')");
    uint64_t epoch = 0;
    size_t len = sizeof(epoch);
    if (int rc = mallctl("epoch", &epoch, &len, nullptr, 0))
        return raise_mallctl(rc, "mallctl('epoch')");
    if (int rc = mallctl("epoch", nullptr, nullptr, &epoch, len))
        return raise_mallctl(rc, "mallctl('epoch') update");
    size_t allocated = 0, mapped = 0;
    len = sizeof(allocated);
    if (int rc = mallctl("stats.allocated", &allocated, &len, nullptr, 0))
        return raise_mallctl(rc, "mallctl('stats.allocated')");
    len = sizeof(mapped);
    if (int rc = mallctl("stats.mapped", &mapped, &len, nullptr, 0))
        return raise_mallctl(rc, "mallctl('stats.mapped')");
    return Py_BuildValue("KK", static_cast<unsigned long long>(allocated), static_cast<unsigned long long>(mapped));
}

PyObject *lumvik_heap_trim(PyObject *, PyObject *) {
    char name[32];
    str_format(name, sizeof(name), "arena.%u.purge", static_cast<unsigned>(MALLCTL_ARENAS_ALL));
    if (int rc = mallctl(name, nullptr, nullptr, nullptr, 0)) {
        errno = rc;
        return lumvik_oserror();
    }
    Py_RETURN_NONE;
}
