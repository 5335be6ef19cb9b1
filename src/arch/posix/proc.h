// Liveness of a process, the classifier of failed per-process calls, and table B's
// per-process functions.
#pragma once
#include "module.h"

#include <sys/types.h>

// 1 exists, 0 does not, -1 undecided (errno tells why); never sets an exception.
LUMVIK_EXPORT int lumvik_pid_exists(pid_t pid);
// Sets the exception that a failed library call on pid deserves; returns NULL.
LUMVIK_EXPORT PyObject *lumvik_raise_for_pid(pid_t pid, const char *msg);

LUMVIK_EXPORT PyObject *lumvik_proc_is_zombie(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_priority_get(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_priority_set(PyObject *self, PyObject *args);
