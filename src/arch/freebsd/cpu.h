// CPU metrics: count, times, topology, event counters and frequency.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_cpu_count_logical(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_cpu_times(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_per_cpu_times(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_cpu_topology(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_cpu_stats(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_cpu_freq(PyObject *self, PyObject *args);
