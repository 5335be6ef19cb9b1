#include "arch/posix/proc.h"

#include <sys/resource.h>

#include <cerrno>
#include <csignal>

#include "arch/all/errors.h"
#include "arch/freebsd/proc.h"

int lumvik_pid_exists(pid_t pid) {
    if (pid <= 0)
        return 0;
    if (kill(pid, 0) == 0)
        return 1;
    if (errno == ESRCH)
        return 0;
    if (errno == EPERM)  // it exists, and belongs to someone else
        return 1;
    return -1;
}

PyObject *lumvik_raise_for_pid(pid_t pid, const char *msg) {
    if (errno != 0)
        return lumvik_oserror_wsyscall(msg);
    if (lumvik_pid_exists(pid) == 0)
        return lumvik_oserror_nsp(msg);
    if (is_zombie(pid)) {
        PyErr_SetString(ZombieProcessError, "");
        return nullptr;
    }
    return lumvik_runtime_error("%s syscall failed", msg);
}

PyObject *lumvik_proc_is_zombie(PyObject *, PyObject *args) {
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    return PyBool_FromLong(is_zombie(pid));
}

PyObject *lumvik_proc_priority_get(PyObject *, PyObject *args) {
    errno = 0;  // -1 is a valid nice value: only errno tells a failure
    pid_t pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    errno = 0;  // again: the parser may have set it
    int priority = getpriority(PRIO_PROCESS, pid);
    if (errno != 0)
        return lumvik_oserror();
    return Py_BuildValue("i", priority);
}

PyObject *lumvik_proc_priority_set(PyObject *, PyObject *args) {
    pid_t pid;
    int priority;
    if (!PyArg_ParseTuple(args, "ii", &pid, &priority))
        return nullptr;
    if (setpriority(PRIO_PROCESS, pid, priority) == -1)
        return lumvik_oserror();
    Py_RETURN_NONE;
}
