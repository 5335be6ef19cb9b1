// Storage: the mounted file systems and the I/O counters of every device.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_disk_partitions(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_disk_io_counters(PyObject *self, PyObject *args);
