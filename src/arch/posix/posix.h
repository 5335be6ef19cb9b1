// The POSIX part of the module: its constants, table B and the page size.
#pragma once
#include "module.h"

LUMVIK_EXPORT int lumvik_posix_add_constants(PyObject *module);
LUMVIK_EXPORT int lumvik_posix_add_methods(PyObject *module);
LUMVIK_EXPORT long lumvik_getpagesize(void);
LUMVIK_EXPORT PyObject *lumvik_getpagesize_pywrapper(PyObject *self, PyObject *args);
