// Process-wide state of the module and its start-up routines.
#pragma once
#include <Python.h>
#include <atomic>

#ifndef Py_GIL_DISABLED
#error "_lumvik_bsd is built for the free-threaded interpreter"
#endif

#define LUMVIK_EXPORT extern "C" __attribute__((visibility("default")))

// Atomic ints with the layout of plain ints: each access indivisible, relaxed ordering.
LUMVIK_EXPORT std::atomic<int> LUMVIK_DEBUG;
LUMVIK_EXPORT std::atomic<int> LUMVIK_TESTING;
LUMVIK_EXPORT const int LUMVIK_CONN_NONE;
LUMVIK_EXPORT PyObject *ZombieProcessError;

LUMVIK_EXPORT int lumvik_setup(void);
LUMVIK_EXPORT PyObject *lumvik_set_debug(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_check_pid_range(PyObject *self, PyObject *args);

inline bool lumvik_debug_on() { return LUMVIK_DEBUG.load(std::memory_order_relaxed) != 0; }
inline bool lumvik_testing_on() { return LUMVIK_TESTING.load(std::memory_order_relaxed) != 0; }
