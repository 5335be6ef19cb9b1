// What a pending exception says about the system error behind it.
#pragma once
#include <Python.h>

// The errno of the pending OSError, or 0 when nothing is pending or it is no OSError. The
// exception stays pending. Reading it back is needed because building an exception may
// change the thread's errno.
inline int pending_oserror_number() {
    if (!PyErr_ExceptionMatches(PyExc_OSError))
        return 0;
    PyObject *exc = PyErr_GetRaisedException();
    PyObject *number = PyObject_GetAttrString(exc, "errno");
    long value = number != nullptr && PyLong_Check(number) ? PyLong_AsLong(number) : 0;
    Py_XDECREF(number);
    PyErr_Clear();  // a failed lookup must not replace the exception
    PyErr_SetRaisedException(exc);
    return static_cast<int>(value);
}
