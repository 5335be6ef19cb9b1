// Owners for what a call acquires, so every path releases it.
#pragma once
#include <Python.h>
#include <cstdlib>
#include <memory>

struct PyDecRef {
    void operator()(PyObject *o) const { Py_DECREF(o); }
};
// An owned Python reference; release() hands it over.
using PyRef = std::unique_ptr<PyObject, PyDecRef>;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
// A buffer from malloc or calloc.
template <class T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;
