#include "arch/freebsd/cpu.h"

#include <sys/param.h>
#include <sys/cpuset.h>
#include <sys/resource.h>
#include <sys/sysctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/pending_error.h"
#include "arch/all/str.h"
#include "arch/posix/sysctl.h"

static constexpr const char *kUnit = "arch/freebsd/cpu";
// The lines its debug lines have always named.
static constexpr int kTopologyIgnoredLine = 101;
static constexpr int kFreqLevelsIgnoredLine = 168;

// One statistics-clock tick: FreeBSD's stathz is 128 on amd64, whatever the build host says.
static constexpr double kTickSeconds = 0.0078125;
static constexpr size_t kLevelsSize = 1000;
static constexpr size_t kFreqNameSize = 26;

// user, nice, system, idle, irq: idle before irq, not the kernel's order.
static PyObject *cpu_times_tuple(const long ticks[CPUSTATES]) {
    return Py_BuildValue("(ddddd)", static_cast<double>(ticks[CP_USER]) * kTickSeconds,
                         static_cast<double>(ticks[CP_NICE]) * kTickSeconds,
                         static_cast<double>(ticks[CP_SYS]) * kTickSeconds,
                         static_cast<double>(ticks[CP_IDLE]) * kTickSeconds,
                         static_cast<double>(ticks[CP_INTR]) * kTickSeconds);
}

PyObject *lumvik_cpu_count_logical(PyObject *, PyObject *) {
    int mib[] = {CTL_HW, HW_NCPU};
    int ncpu = 0;
    size_t len = sizeof(ncpu);
    if (sysctl(mib, 2, &ncpu, &len, nullptr, 0) == -1)
        Py_RETURN_NONE;
    return Py_BuildValue("i", ncpu);
}

PyObject *lumvik_cpu_times(PyObject *, PyObject *) {
    long ticks[CPUSTATES] = {};  // a shorter answer leaves zeros behind it
    if (lumvik_sysctlbyname("kern.cp_time", ticks, sizeof(ticks)) != 0)
        return nullptr;
    return cpu_times_tuple(ticks);
}

PyObject *lumvik_per_cpu_times(PyObject *, PyObject *) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    int mib[] = {CTL_HW, HW_NCPU};
    int ncpu = 0;
    if (lumvik_sysctl(mib, 2, &ncpu, sizeof(ncpu)) != 0)
        return nullptr;
    // No FreeBSD system has more CPUs than a CPU set can name: a larger count gets the
    // MemoryError calloc gives a negative one, before it can cost gigabytes and millions of tuples.
    if (ncpu > CPU_SETSIZE)
        return PyErr_NoMemory();
    // calloc refuses a negative count (huge as a size) rather than wrapping it; a count of 0
    // still gets a buffer, so that the read refuses the zero size. Zeroed: a shorter answer
    // leaves zeros, never what the heap held.
    size_t size = static_cast<size_t>(ncpu) * CPUSTATES * sizeof(long);
    MallocPtr<long> ticks(static_cast<long *>(std::calloc(ncpu == 0 ? 1 : static_cast<size_t>(ncpu),
                                                          CPUSTATES * sizeof(long))));
    if (!ticks)
        return PyErr_NoMemory();
    if (lumvik_sysctlbyname("kern.cp_times", ticks.get(), size) != 0)
        return nullptr;
    for (int cpu = 0; cpu < ncpu; ++cpu) {
        PyRef item(cpu_times_tuple(ticks.get() + static_cast<size_t>(cpu) * CPUSTATES));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_cpu_topology(PyObject *, PyObject *) {
    char *raw = nullptr;
    size_t len = 0;
    if (lumvik_sysctlbyname_malloc("kern.sched.topology_spec", &raw, &len) != 0) {
        PyErr_Clear();
        lumvik_debug(kUnit, kTopologyIgnoredLine, "ignore sysctlbyname('kern.sched.topology_spec') error");
        Py_RETURN_NONE;
    }
    MallocPtr<char> text(raw);
    // Up to the first NUL, and never past what the kernel wrote.
    return Py_BuildValue("s#", text.get(), static_cast<Py_ssize_t>(strnlen(text.get(), len)));
}

PyObject *lumvik_cpu_stats(PyObject *, PyObject *) {
    u_int swtch = 0, intr = 0, soft = 0, syscall = 0, trap = 0;
    const struct {
        const char *name;
        u_int *value;
    } reads[] = {
        {"vm.stats.sys.v_soft", &soft},       {"vm.stats.sys.v_intr", &intr}, {"vm.stats.sys.v_syscall", &syscall},
        {"vm.stats.sys.v_trap", &trap},       {"vm.stats.sys.v_swtch", &swtch},
    };
    for (const auto &r : reads)
        if (lumvik_sysctlbyname(r.name, r.value, sizeof(*r.value)) != 0)
            return nullptr;
    return Py_BuildValue("IIIII", swtch, intr, soft, syscall, trap);
}

PyObject *lumvik_cpu_freq(PyObject *, PyObject *args) {
    char levels[kLevelsSize];
    std::memset(levels, 0, sizeof(levels));
    int cpu;
    if (!PyArg_ParseTuple(args, "i", &cpu))
        return nullptr;

    char name[kFreqNameSize];
    str_format(name, sizeof(name), "dev.cpu.%d.freq", cpu);  // the longest, for INT_MIN, fits
    int freq = 0;
    if (lumvik_sysctlbyname(name, &freq, sizeof(freq)) != 0) {
        int err = pending_oserror_number();
        if (err == 0)  // no system error behind it: that exception stands
            return nullptr;
        PyErr_Clear();
        if (err == ENOENT) {
            PyErr_SetString(PyExc_NotImplementedError, "unable to read frequency");
            return nullptr;
        }
        errno = err;
        return lumvik_oserror();
    }

    // A name cut by the buffer would name another node: it counts as a failed read.
    if (str_format(name, sizeof(name), "dev.cpu.%d.freq_levels", cpu) < 0 ||
        lumvik_sysctlbyname(name, levels, sizeof(levels)) != 0) {
        PyErr_Clear();
        levels[0] = '\0';  // a refused read may have left part of a text
        lumvik_debug(kUnit, kFreqLevelsIgnoredLine, "cpu freq levels failed (ignored)");
    }
    levels[sizeof(levels) - 1] = '\0';  // at most 999 bytes of text, whatever the kernel wrote
    return Py_BuildValue("is", freq, levels);
}
