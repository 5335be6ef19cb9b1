// Per-interface traffic counters, from the routing socket's interface list.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_net_io_counters(PyObject *self, PyObject *args);
