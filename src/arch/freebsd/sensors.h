// Boot time, battery and CPU temperature.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_boot_time(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_sensors_battery(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_sensors_cpu_temperature(PyObject *self, PyObject *args);
