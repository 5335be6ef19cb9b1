#include "arch/posix/posix.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "arch/posix/net_if.h"
#include "arch/posix/proc.h"
#include "arch/posix/users.h"

static PyMethodDef posix_methods[] = {
    {"getpagesize", lumvik_getpagesize_pywrapper, METH_VARARGS, nullptr},
    {"net_if_addrs", lumvik_net_if_addrs, METH_VARARGS, nullptr},
    {"net_if_flags", lumvik_net_if_flags, METH_VARARGS, nullptr},
    {"net_if_is_running", lumvik_net_if_is_running, METH_VARARGS, nullptr},
    {"net_if_mtu", lumvik_net_if_mtu, METH_VARARGS, nullptr},
    {"proc_priority_get", lumvik_proc_priority_get, METH_VARARGS, nullptr},
    {"proc_priority_set", lumvik_proc_priority_set, METH_VARARGS, nullptr},
    {"net_if_duplex_speed", lumvik_net_if_duplex_speed, METH_VARARGS, nullptr},
    {"users", lumvik_users, METH_VARARGS, nullptr},
    {"proc_is_zombie", lumvik_proc_is_zombie, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

long lumvik_getpagesize(void) { return sysconf(_SC_PAGESIZE); }

PyObject *lumvik_getpagesize_pywrapper(PyObject *, PyObject *) { return Py_BuildValue("l", sysconf(_SC_PAGESIZE)); }

int lumvik_posix_add_constants(PyObject *module) {
    static const struct {
        const char *name;
        long value;
    } constants[] = {
        {"AF_LINK", AF_LINK},
        {"RLIMIT_AS", RLIMIT_AS},
        {"RLIMIT_CORE", RLIMIT_CORE},
        {"RLIMIT_CPU", RLIMIT_CPU},
        {"RLIMIT_DATA", RLIMIT_DATA},
        {"RLIMIT_FSIZE", RLIMIT_FSIZE},
        {"RLIMIT_MEMLOCK", RLIMIT_MEMLOCK},
        {"RLIMIT_NOFILE", RLIMIT_NOFILE},
        {"RLIMIT_NPROC", RLIMIT_NPROC},
        {"RLIMIT_RSS", RLIMIT_RSS},
        {"RLIMIT_STACK", RLIMIT_STACK},
        {"RLIMIT_SWAP", RLIMIT_SWAP},
        {"RLIMIT_SBSIZE", RLIMIT_SBSIZE},
        {"RLIMIT_NPTS", RLIMIT_NPTS},
    };
    if (module == nullptr)
        return -1;
    for (const auto &c : constants)
        if (PyModule_AddIntConstant(module, c.name, c.value) != 0)
            return -1;
    PyObject *infinity = PyLong_FromLong(RLIM_INFINITY);
    if (infinity == nullptr)
        return -1;
    if (PyModule_AddObject(module, "RLIM_INFINITY", infinity) != 0) {
        Py_DECREF(infinity);
        return -1;
    }
    return 0;
}

int lumvik_posix_add_methods(PyObject *module) {
    for (PyMethodDef *entry = posix_methods; entry->ml_name != nullptr; ++entry) {
        PyObject *function = PyCMethod_New(entry, nullptr, module, nullptr);
        if (function == nullptr)
            return -1;
        if (PyModule_AddObject(module, entry->ml_name, function) != 0) {
            Py_DECREF(function);
            return -1;
        }
    }
    ZombieProcessError = PyErr_NewException("_lumvik_posix.ZombieProcessError", nullptr, nullptr);
    if (ZombieProcessError == nullptr)
        return -1;
    // The global keeps its own reference: the class lives as long as the process.
    PyObject *cls = Py_NewRef(ZombieProcessError);
    if (PyModule_AddObject(module, "ZombieProcessError", cls) != 0) {
        Py_DECREF(cls);
        return -1;
    }
    return 0;
}
