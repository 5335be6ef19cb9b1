// The module _lumvik_bsd: its definition, table A, start-up and the constants added last.
#include "module.h"

#include <netinet/tcp_fsm.h>
#include <sys/proc.h>

#include <cstdlib>

#include "arch/all/errors.h"
#include "arch/freebsd/cpu.h"
#include "arch/freebsd/disk.h"
#include "arch/freebsd/mem.h"
#include "arch/freebsd/net_io.h"
#include "arch/freebsd/proc.h"
#include "arch/freebsd/sensors.h"
#include "arch/freebsd/sockets.h"
#include "arch/posix/posix.h"

std::atomic<int> LUMVIK_DEBUG{0};
std::atomic<int> LUMVIK_TESTING{0};
const int LUMVIK_CONN_NONE = 128;
PyObject *ZombieProcessError = nullptr;

static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "the flags keep the layout of plain ints");

static PyMethodDef module_methods[] = {
    {"proc_cmdline", lumvik_proc_cmdline, METH_VARARGS, nullptr},
    {"proc_cwd", lumvik_proc_cwd, METH_VARARGS, nullptr},
    {"proc_environ", lumvik_proc_environ, METH_VARARGS, nullptr},
    {"proc_name", lumvik_proc_name, METH_VARARGS, nullptr},
    {"proc_num_fds", lumvik_proc_num_fds, METH_VARARGS, nullptr},
    {"proc_oneshot_info", lumvik_proc_oneshot_info, METH_VARARGS, nullptr},
    {"proc_open_files", lumvik_proc_open_files, METH_VARARGS, nullptr},
    {"proc_threads", lumvik_proc_threads, METH_VARARGS, nullptr},
    {"proc_num_threads", lumvik_proc_num_threads, METH_VARARGS, nullptr},
    {"proc_cpu_affinity_get", lumvik_proc_cpu_affinity_get, METH_VARARGS, nullptr},
    {"proc_cpu_affinity_set", lumvik_proc_cpu_affinity_set, METH_VARARGS, nullptr},
    {"proc_exe", lumvik_proc_exe, METH_VARARGS, nullptr},
    {"proc_getrlimit", lumvik_proc_getrlimit, METH_VARARGS, nullptr},
    {"proc_memory_maps", lumvik_proc_memory_maps, METH_VARARGS, nullptr},
    {"proc_net_connections", lumvik_proc_net_connections, METH_VARARGS, nullptr},
    {"proc_setrlimit", lumvik_proc_setrlimit, METH_VARARGS, nullptr},
    {"boot_time", lumvik_boot_time, METH_VARARGS, nullptr},
    {"cpu_count_logical", lumvik_cpu_count_logical, METH_VARARGS, nullptr},
    {"cpu_stats", lumvik_cpu_stats, METH_VARARGS, nullptr},
    {"cpu_times", lumvik_cpu_times, METH_VARARGS, nullptr},
    {"disk_io_counters", lumvik_disk_io_counters, METH_VARARGS, nullptr},
    {"disk_partitions", lumvik_disk_partitions, METH_VARARGS, nullptr},
    {"net_connections", lumvik_net_connections, METH_VARARGS, nullptr},
    {"net_io_counters", lumvik_net_io_counters, METH_VARARGS, nullptr},
    {"per_cpu_times", lumvik_per_cpu_times, METH_VARARGS, nullptr},
    {"pids", lumvik_pids, METH_VARARGS, nullptr},
    {"swap_mem", lumvik_swap_mem, METH_VARARGS, nullptr},
    {"heap_info", lumvik_heap_info, METH_VARARGS, nullptr},
    {"heap_trim", lumvik_heap_trim, METH_VARARGS, nullptr},
    {"virtual_mem", lumvik_virtual_mem, METH_VARARGS, nullptr},
    {"cpu_freq", lumvik_cpu_freq, METH_VARARGS, nullptr},
    {"cpu_topology", lumvik_cpu_topology, METH_VARARGS, nullptr},
    {"sensors_battery", lumvik_sensors_battery, METH_VARARGS, nullptr},
    {"sensors_cpu_temperature", lumvik_sensors_cpu_temperature, METH_VARARGS, nullptr},
    {"check_pid_range", lumvik_check_pid_range, METH_VARARGS, nullptr},
    {"set_debug", lumvik_set_debug, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

static struct PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_lumvik_bsd",   // m_name
    nullptr,         // m_doc
    -1,              // m_size: no per-module state
    module_methods,  // m_methods
    nullptr,         // m_slots
    nullptr,         // m_traverse
    nullptr,         // m_clear
    nullptr,         // m_free
};

int lumvik_setup(void) {
    if (std::getenv("LUMVIK_DEBUG") != nullptr)
        LUMVIK_DEBUG.store(1, std::memory_order_relaxed);
    if (std::getenv("LUMVIK_TESTING") != nullptr)
        LUMVIK_TESTING.store(1, std::memory_order_relaxed);
    return 0;
}

PyObject *lumvik_set_debug(PyObject *, PyObject *args) {
    PyObject *value;
    if (!PyArg_ParseTuple(args, "O", &value))
        return nullptr;
    int truth = PyObject_IsTrue(value);
    if (truth < 0)
        return nullptr;
    LUMVIK_DEBUG.store(truth ? 1 : 0, std::memory_order_relaxed);
    Py_RETURN_NONE;
}

PyObject *lumvik_check_pid_range(PyObject *, PyObject *args) {
    int pid;
    if (!PyArg_ParseTuple(args, "i", &pid))
        return nullptr;
    if (pid < 0) {
        PyErr_SetString(PyExc_ValueError, "pid must be a positive integer");
        return nullptr;
    }
    Py_RETURN_NONE;
}

// Constants added after table B and ZombieProcessError, in this order.
static int add_late_constants(PyObject *module) {
    static const struct {
        const char *name;
        long value;
    } constants[] = {
        {"version", 722},
        {"SIDL", SIDL},
        {"SRUN", SRUN},
        {"SSLEEP", SSLEEP},
        {"SSTOP", SSTOP},
        {"SZOMB", SZOMB},
        {"SWAIT", SWAIT},
        {"SLOCK", SLOCK},
        {"TCPS_CLOSED", TCPS_CLOSED},
        {"TCPS_CLOSING", TCPS_CLOSING},
        {"TCPS_CLOSE_WAIT", TCPS_CLOSE_WAIT},
        {"TCPS_LISTEN", TCPS_LISTEN},
        {"TCPS_ESTABLISHED", TCPS_ESTABLISHED},
        {"TCPS_SYN_SENT", TCPS_SYN_SENT},
        {"TCPS_SYN_RECEIVED", TCPS_SYN_RECEIVED},
        {"TCPS_FIN_WAIT_1", TCPS_FIN_WAIT_1},
        {"TCPS_FIN_WAIT_2", TCPS_FIN_WAIT_2},
        {"TCPS_LAST_ACK", TCPS_LAST_ACK},
        {"TCPS_TIME_WAIT", TCPS_TIME_WAIT},
        {"LUMVIK_CONN_NONE", LUMVIK_CONN_NONE},
    };
    for (const auto &c : constants)
        if (PyModule_AddIntConstant(module, c.name, c.value) != 0)
            return -1;
    return 0;
}

PyMODINIT_FUNC PyInit__lumvik_bsd(void) {
    PyObject *module = PyModule_Create2(&module_definition, PYTHON_API_VERSION);
    if (module == nullptr)
        return nullptr;
    if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED) != 0 || lumvik_setup() != 0 ||
        lumvik_posix_add_constants(module) != 0 || lumvik_posix_add_methods(module) != 0 ||
        add_late_constants(module) != 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
