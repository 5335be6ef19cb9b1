// The process table, one process's kernel record, and the summary built from it.
#include "arch/freebsd/proc.h"

#include <sys/proc.h>
#include <sys/sysctl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/timeval.h"
#include "arch/all/str.h"
#include "arch/posix/posix.h"
#include "arch/posix/sysctl.h"

static constexpr size_t kRecordSize = sizeof(struct kinfo_proc);

// A page count in bytes, saturated: a corrupted count cannot overflow into another size.
static long pages_to_bytes(segsz_t pages, long pagesize) {
    long bytes;
    if (__builtin_mul_overflow(static_cast<long>(pages), pagesize, &bytes))
        return (pages < 0) != (pagesize < 0) ? LONG_MIN : LONG_MAX;
    return bytes;
}

int _lumvik_pids(pid_t **pids, int *count) {
    *pids = nullptr;
    *count = 0;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0};
    MallocPtr<char> buf;
    size_t len = 0;
    if (sysctl_malloc_owned(mib, 4, buf, &len) != 0)
        return -1;
    if (len == 0) {
        lumvik_runtime_error("no PIDs found");
        return -1;
    }
    size_t n = len / kRecordSize;  // a trailing partial record is ignored
    // At least one byte, so that an empty table is not taken for a failed allocation.
    auto *out = static_cast<pid_t *>(std::malloc(n ? n * sizeof(pid_t) : 1));
    if (out == nullptr) {
        PyErr_NoMemory();
        return -1;
    }
    for (size_t i = 0; i < n; ++i)
        out[i] = reinterpret_cast<const struct kinfo_proc *>(buf.get() + i * kRecordSize)->ki_pid;
    *pids = out;
    *count = static_cast<int>(n);
    return 0;
}

int lumvik_kinfo_proc(pid_t pid, struct kinfo_proc *proc) {
    if (pid < 0 || proc == nullptr)
        return lumvik_badargs("lumvik_kinfo_proc");
    std::memset(proc, 0, kRecordSize);  // a short record leaves zeros behind it, not the caller's stack
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    size_t len = kRecordSize;
    if (sysctl(mib, 4, proc, &len, nullptr, 0) == -1) {
        lumvik_oserror_wsyscall("sysctl(kinfo_proc)");
        return -1;
    }
    if (len == 0) {
        lumvik_oserror_nsp("sysctl(kinfo_proc), size = 0");
        return -1;
    }
    return 0;
}

int is_zombie(pid_t pid) {
    struct kinfo_proc kp;
    if (lumvik_kinfo_proc(pid, &kp) != 0) {
        errno = 0;
        PyErr_Clear();
        return 0;
    }
    return kp.ki_stat == SZOMB;
}

PyObject *lumvik_pids(PyObject *, PyObject *) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    pid_t *raw = nullptr;
    int count = 0;
    int rc = _lumvik_pids(&raw, &count);
    MallocPtr<pid_t> pids(raw);
    if (rc != 0)
        return nullptr;
    if (count == 0)
        return lumvik_runtime_error("no PIDs found");
    for (int i = 0; i < count; ++i) {
        PyRef pid(PyLong_FromLong(pids.get()[i]));
        if (!pid || PyList_Append(list.get(), pid.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_proc_oneshot_info(PyObject *, PyObject *args) {
    long pagesize = lumvik_getpagesize();
    pid_t pid;
    struct kinfo_proc kp;
    if (!PyArg_ParseTuple(args, "i", &pid) || lumvik_kinfo_proc(pid, &kp) != 0)
        return nullptr;

    char name_buf[256];
    // Bounded by the field, whatever the kernel put in it.
    str_format(name_buf, sizeof(name_buf), "%.*s", static_cast<int>(sizeof(kp.ki_comm)), kp.ki_comm);
    PyRef name(PyUnicode_DecodeFSDefault(name_buf));
    if (!name) {  // an undecodable name is reported as None
        PyErr_Clear();
        name.reset(Py_NewRef(Py_None));
    }
    PyRef ppid(PyLong_FromLong(kp.ki_ppid));
    if (!ppid)
        return nullptr;
    // A process that is not running reports the CPU it last ran on.
    int cpu = (kp.ki_stat == SRUN && kp.ki_oncpu != NOCPU) ? kp.ki_oncpu : kp.ki_lastcpu;
    auto bytes = [pagesize](segsz_t pages) { return pages_to_bytes(pages, pagesize); };
    return Py_BuildValue("(OillllllLdllllddddlllllbO)",
                         ppid.get(),                                 // parent pid
                         static_cast<int>(kp.ki_stat),               // state
                         static_cast<long>(kp.ki_ruid),              // real uid
                         static_cast<long>(kp.ki_uid),               // effective uid
                         static_cast<long>(kp.ki_svuid),             // saved uid
                         static_cast<long>(kp.ki_rgid),              // real gid
                         static_cast<long>(kp.ki_groups[0]),         // effective gid
                         static_cast<long>(kp.ki_svgid),             // saved gid
                         static_cast<long long>(kp.ki_tdev),         // terminal, -1 for none
                         timeval_seconds(kp.ki_start),                       // creation time
                         kp.ki_rusage.ru_nvcsw,                      // voluntary switches
                         kp.ki_rusage.ru_nivcsw,                     // involuntary switches
                         kp.ki_rusage.ru_inblock,                    // block reads
                         kp.ki_rusage.ru_oublock,                    // block writes
                         timeval_seconds(kp.ki_rusage.ru_utime),             // user time
                         timeval_seconds(kp.ki_rusage.ru_stime),             // system time
                         timeval_seconds(kp.ki_rusage_ch.ru_utime),          // children's user time
                         timeval_seconds(kp.ki_rusage_ch.ru_stime),          // children's system time
                         bytes(kp.ki_rssize),                        // resident set
                         static_cast<long>(kp.ki_size),              // virtual size, in bytes already
                         bytes(kp.ki_tsize),                         // text
                         bytes(kp.ki_dsize),                         // data
                         bytes(kp.ki_ssize),                         // stack
                         cpu,                                        // CPU number, whole
                         name.get());                                // name
}

PyObject *lumvik_proc_name(PyObject *, PyObject *args) {
    pid_t pid;
    struct kinfo_proc kp;
    if (!PyArg_ParseTuple(args, "i", &pid) || lumvik_kinfo_proc(pid, &kp) != 0)
        return nullptr;
    char name[1000];
    str_format(name, sizeof(name), "%.*s", static_cast<int>(sizeof(kp.ki_comm)), kp.ki_comm);
    return PyUnicode_DecodeFSDefault(name);
}

PyObject *lumvik_proc_num_threads(PyObject *, PyObject *args) {
    pid_t pid;
    struct kinfo_proc kp;
    if (!PyArg_ParseTuple(args, "i", &pid) || lumvik_kinfo_proc(pid, &kp) != 0)
        return nullptr;
    return Py_BuildValue("l", static_cast<long>(kp.ki_numthreads));
}
