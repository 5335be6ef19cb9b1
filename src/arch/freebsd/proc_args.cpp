// What a process was started with: its arguments, environment and executable.
#include "arch/freebsd/proc.h"

#include <sys/param.h>
#include <sys/proc.h>
#include <sys/sysctl.h>

#include <fcntl.h>
#include <limits.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/str.h"
#include "arch/freebsd/kvm_handle.h"
#include "arch/posix/proc.h"
#include "arch/posix/sysctl.h"

PyObject *lumvik_proc_cmdline(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_ARGS, pid};
    MallocPtr<char> buf;
    size_t len = 0;
    if (sysctl_malloc_owned(mib, 4, buf, &len) != 0)
        return nullptr;
    // Arguments follow one another, each ending in a NUL; a last one without its NUL ends
    // with the reply.
    for (size_t offset = 0; offset < len;) {
        size_t arglen = strnlen(buf.get() + offset, len - offset);
        PyRef arg(PyUnicode_DecodeFSDefaultAndSize(buf.get() + offset, static_cast<Py_ssize_t>(arglen)));
        if (!arg || PyList_Append(list.get(), arg.get()) != 0)
            return nullptr;
        offset += arglen + 1;
    }
    return list.release();
}

void convert_kvm_err(const char *syscall, char *errbuf) {
    char text[512];
    str_format(text, sizeof(text), "(originated from %s: %s)", syscall, errbuf);
    if (std::strstr(errbuf, "Permission denied") || std::strstr(errbuf, "Operation not permitted"))
        lumvik_oserror_ad(text);
    else
        lumvik_runtime_error("%s", text);
}

// What a failed kvm_getenvv means, by errno; false when it is no failure (an empty environment).
static bool raise_for_getenvv(long pid, const struct kinfo_proc &kp, char *msg, size_t msglen) {
    switch (errno) {
    case 0:
        return false;
    case EPERM:
        lumvik_oserror_ad("kvm_getenvv -> EPERM");
        return true;
    case ESRCH:
        lumvik_oserror_nsp("kvm_getenvv -> ESRCH");
        return true;
    case ENOMEM:
        str_format(msg, msglen, "kvm_getenvv(pid=%ld, ki_uid=%d) -> ENOMEM", pid, static_cast<int>(kp.ki_uid));
        lumvik_oserror_ad(msg);
        return true;
    default:
        str_format(msg, msglen, "kvm_getenvv(pid=%ld)", pid);
        lumvik_oserror_wsyscall(msg);
        return true;
    }
}

PyObject *lumvik_proc_environ(PyObject *, PyObject *args) {
    long pid;
    if (!PyArg_ParseTuple(args, "l", &pid))
        return nullptr;
    // A pid beyond 32 bits would name another process once narrowed: refuse it as "i" would.
    if (pid > INT_MAX || pid < INT_MIN) {
        PyErr_SetString(PyExc_OverflowError,
                        pid > INT_MAX ? "signed integer is greater than maximum" : "signed integer is less than minimum");
        return nullptr;
    }
    char errbuf[_POSIX2_LINE_MAX] = "";
    KvmHandle kd(kvm_openfiles(nullptr, "/dev/null", nullptr, O_RDONLY, errbuf));
    if (!kd) {
        convert_kvm_err("kvm_openfiles", errbuf);
        return nullptr;
    }
    PyRef env(PyDict_New());
    if (!env)
        return nullptr;
    int count = -1;
    struct kinfo_proc *procs = kvm_getprocs(kd.get(), KERN_PROC_PID, static_cast<int>(pid), &count);
    if (procs == nullptr)
        return lumvik_oserror_nsp("kvm_getprocs");
    if (count < 0)
        return lumvik_oserror_nsp(kvm_geterr(kd.get()));
    if (count == 0)
        return lumvik_oserror_nsp("kvm_getprocs: cnt==0");
    // Kernel processes and swapped-out ones have no environment to read.
    if ((procs->ki_flag & (P_INMEM | P_SYSTEM)) != P_INMEM)
        return env.release();

    errno = 0;
    char **envs = kvm_getenvv(kd.get(), procs, 0);
    if (envs == nullptr)
        return raise_for_getenvv(pid, *procs, errbuf, sizeof(errbuf)) ? nullptr : env.release();
    for (char **entry = envs; *entry != nullptr; ++entry) {
        const char *eq = std::strchr(*entry, '=');
        if (eq == nullptr)
            continue;
        std::string_view key(*entry, static_cast<size_t>(eq - *entry));
        PyRef value(PyUnicode_DecodeFSDefault(eq + 1));
        if (!value)
            return nullptr;
        // Keys are strict UTF-8, as PyDict_SetItemString decodes them.
        PyRef pykey(PyUnicode_DecodeUTF8(key.data(), static_cast<Py_ssize_t>(key.size()), nullptr));
        if (!pykey || PyDict_SetItem(env.get(), pykey.get(), value.get()) != 0)
            return nullptr;
    }
    return env.release();
}

PyObject *lumvik_proc_exe(PyObject *, PyObject *args) {
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME, pid};
    char path[PATH_MAX];
    size_t len = sizeof(path);
    if (sysctl(mib, 4, path, &len, nullptr, 0) == -1) {
        if (errno == ENOENT)  // the kernel cannot name it
            return PyUnicode_FromString("");
        return lumvik_oserror_wsyscall("sysctl(KERN_PROC_PATHNAME)");
    }
    if (len == 0 || path[0] == '\0') {
        switch (lumvik_pid_exists(pid)) {
        case 0:
            return lumvik_oserror_nsp("lumvik_pid_exists -> 0");
        case -1:
            return lumvik_oserror();
        default:
            str_copy(path, sizeof(path), "");
        }
    }
    // Bounded by the reply, whatever the kernel put in it.
    return PyUnicode_DecodeFSDefaultAndSize(path, static_cast<Py_ssize_t>(strnlen(path, len)));
}
