// The socket tables: every socket of the system with its owner, and one process's sockets.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_net_connections(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_net_connections(PyObject *self, PyObject *args);
