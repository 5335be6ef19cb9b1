// Boot time, battery and CPU temperature: kernel nodes read as they are, or from tenths of a kelvin.
#include "arch/freebsd/sensors.h"

#include <sys/sysctl.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdint>

#include "arch/all/errors.h"
#include "arch/all/str.h"
#include "arch/posix/sysctl.h"

namespace {

// The errno of a failed read: the number of the OSError it raised, which no later call can
// have overwritten; errno itself for a failure without one.
int failed_read_errno() {
    int number = errno;
    PyObject *exc = PyErr_GetRaisedException();
    if (exc != nullptr && PyErr_GivenExceptionMatches(exc, PyExc_OSError)) {
        PyObject *attr = PyObject_GetAttrString(exc, "errno");
        if (attr != nullptr && PyLong_Check(attr))
            number = PyLong_AsInt(attr);
        Py_XDECREF(attr);
    }
    Py_XDECREF(exc);
    PyErr_Clear();
    return number;
}

// An optional hardware node that is missing means the machine lacks the hardware.
PyObject *raise_missing_or_oserror(const char *missing) {
    errno = failed_read_errno();
    if (errno == ENOENT) {
        PyErr_SetString(PyExc_NotImplementedError, missing);
        return nullptr;
    }
    return lumvik_oserror();
}

// Whole degrees Celsius from tenths of a kelvin, truncated toward zero; widened so that no
// reading can overflow on the way.
int celsius(int decikelvin) { return static_cast<int>((static_cast<int64_t>(decikelvin) - 2731) / 10); }

}  // namespace

PyObject *lumvik_boot_time(PyObject *, PyObject *) {
    int mib[] = {CTL_KERN, KERN_BOOTTIME};
    struct timeval boot = {};
    if (lumvik_sysctl(mib, 2, &boot, sizeof(boot)) != 0)
        return nullptr;
    return Py_BuildValue("d", static_cast<double>(boot.tv_sec));
}

PyObject *lumvik_sensors_battery(PyObject *, PyObject *) {
    static const char *const nodes[] = {"hw.acpi.battery.life", "hw.acpi.battery.time", "hw.acpi.acline"};
    int values[3] = {};
    for (int i = 0; i < 3; ++i)
        if (lumvik_sysctlbyname(nodes[i], &values[i], sizeof(values[i])) != 0)
            return raise_missing_or_oserror("no battery");
    return Py_BuildValue("iii", values[0], values[1], values[2]);
}

PyObject *lumvik_sensors_cpu_temperature(PyObject *, PyObject *args) {
    int cpu;
    if (!PyArg_ParseTuple(args, "i", &cpu))
        return nullptr;
    char node[64];
    int value = 0;
    str_format(node, sizeof(node), "dev.cpu.%d.temperature", cpu);
    if (lumvik_sysctlbyname(node, &value, sizeof(value)) != 0)
        return raise_missing_or_oserror("no temperature sensors");
    int current = celsius(value);
    str_format(node, sizeof(node), "dev.cpu.%d.coretemp.tjmax", cpu);
    int critical = celsius(0);
    if (lumvik_sysctlbyname(node, &value, sizeof(value)) != 0)
        PyErr_Clear();  // a CPU may not tell its limit
    else
        critical = celsius(value);
    return Py_BuildValue("ii", current, critical);
}
