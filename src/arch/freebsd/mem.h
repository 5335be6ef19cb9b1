// Memory metrics: physical memory, swap, and the process's own allocator.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_virtual_mem(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_swap_mem(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_heap_info(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_heap_trim(PyObject *self, PyObject *args);
