// The scheduling side of a process: threads, CPU affinity and resource limits.
#include "arch/freebsd/proc.h"

#include <sys/cpuset.h>
#include <sys/resource.h>
#include <sys/sysctl.h>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/timeval.h"
#include "arch/posix/sysctl.h"

PyObject *lumvik_proc_threads(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD, pid};
    MallocPtr<char> buf;
    size_t len = 0;
    if (sysctl_malloc_owned(mib, 4, buf, &len) != 0)
        return nullptr;
    if (len == 0)
        return lumvik_oserror_nsp("sysctl (size = 0)");
    for (size_t i = 0; i < len / sizeof(struct kinfo_proc); ++i) {  // a partial record is ignored
        const auto *kp = reinterpret_cast<const struct kinfo_proc *>(buf.get() + i * sizeof(struct kinfo_proc));
        PyRef item(Py_BuildValue("Idd", static_cast<unsigned int>(kp->ki_tid), timeval_seconds(kp->ki_rusage.ru_utime),
                                 timeval_seconds(kp->ki_rusage.ru_stime)));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_proc_cpu_affinity_get(PyObject *, PyObject *args) {
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    cpuset_t mask;
    CPU_ZERO(&mask);
    if (cpuset_getaffinity(CPU_LEVEL_WHICH, CPU_WHICH_PID, pid, sizeof(mask), &mask) != 0)
        return lumvik_oserror();
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &mask))
            continue;
        PyRef number(Py_BuildValue("i", cpu));
        if (!number || PyList_Append(list.get(), number.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_proc_cpu_affinity_set(PyObject *, PyObject *args) {
    pid_t pid;
    PyObject *cpus;
    if (!PyArg_ParseTuple(args, "iO", &pid, &cpus))
        return nullptr;
    PyRef seq(PySequence_Fast(cpus, "expected a sequence or integer"));
    if (!seq)
        return nullptr;
    // A list can change under the walk (an item's __index__, another thread): walk a snapshot.
    if (PyList_Check(seq.get())) {
        seq.reset(PyList_AsTuple(seq.get()));
        if (!seq)
            return nullptr;
    }
    cpuset_t mask;
    CPU_ZERO(&mask);
    Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
        long cpu = PyLong_AsLong(PySequence_Fast_GET_ITEM(seq.get(), i));
        if (cpu == -1 && PyErr_Occurred())
            return nullptr;
        // Only CPUs 0 to CPU_SETSIZE - 1 fit the set; nothing is applied when one does not.
        if (cpu < 0 || cpu >= CPU_SETSIZE)
            return PyErr_Format(PyExc_ValueError, "invalid CPU number %ld: must be in the range 0 to %d", cpu,
                                CPU_SETSIZE - 1);
        CPU_SET(cpu, &mask);
    }
    if (cpuset_setaffinity(CPU_LEVEL_WHICH, CPU_WHICH_PID, pid, sizeof(mask), &mask) != 0)
        return lumvik_oserror();
    Py_RETURN_NONE;
}

PyObject *lumvik_proc_getrlimit(PyObject *, PyObject *args) {
    pid_t pid;
    int resource;
    if (!PyArg_ParseTuple(args, "ii", &pid, &resource))
        return nullptr;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_RLIMIT, pid, resource};
    struct rlimit rlp = {};  // a short answer leaves zeros behind it, not stack contents
    if (lumvik_sysctl(mib, 5, &rlp, sizeof(rlp)) != 0)
        return nullptr;
    return Py_BuildValue("LL", static_cast<long long>(rlp.rlim_cur), static_cast<long long>(rlp.rlim_max));
}

PyObject *lumvik_proc_setrlimit(PyObject *, PyObject *args) {
    pid_t pid;
    int resource;
    PyObject *soft_obj, *hard_obj;
    if (!PyArg_ParseTuple(args, "iiOO", &pid, &resource, &soft_obj, &hard_obj))
        return nullptr;
    long long soft = PyLong_AsLongLong(soft_obj);
    if (soft == -1 && PyErr_Occurred())
        return nullptr;
    long long hard = PyLong_AsLongLong(hard_obj);
    if (hard == -1 && PyErr_Occurred())
        return nullptr;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_RLIMIT, pid, resource};
    struct rlimit new_limit = {soft, hard};
    if (sysctl(mib, 5, nullptr, nullptr, &new_limit, sizeof(new_limit)) == -1)
        return lumvik_oserror();
    Py_RETURN_NONE;
}
