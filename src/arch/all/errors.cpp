#include "arch/all/errors.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "arch/all/str.h"

// An OSError whose class the interpreter picks from the number; if the instance cannot be
// made, a bare OSError is still set.
static PyObject *raise_oserror(int number, const char *msg) {
    PyObject *exc = PyObject_CallFunction(PyExc_OSError, "(is)", number, msg);
    PyErr_SetObject(PyExc_OSError, exc);
    Py_XDECREF(exc);
    return nullptr;
}

PyObject *lumvik_oserror(void) { return PyErr_SetFromErrno(PyExc_OSError); }

PyObject *lumvik_oserror_wsyscall(const char *syscall) {
    int number = errno;
    char msg[512];
    str_format(msg, sizeof(msg), "%s (originated from %s)", std::strerror(number), syscall);
    return raise_oserror(number, msg);
}

PyObject *lumvik_oserror_nsp(const char *msg) {
    char text[512];
    str_format(text, sizeof(text), "force no such process (originated from %s)", msg);
    return raise_oserror(ESRCH, text);
}

PyObject *lumvik_oserror_ad(const char *msg) {
    char text[512];
    str_format(text, sizeof(text), "force permission denied (originated from %s)", msg);
    return raise_oserror(EACCES, text);
}

PyObject *lumvik_runtime_error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    PyErr_FormatV(PyExc_RuntimeError, fmt, ap);
    va_end(ap);
    return nullptr;
}

int lumvik_badargs(const char *fname) {
    PyErr_Format(PyExc_RuntimeError, "%s() invalid args passed to function", fname);
    return -1;
}

void lumvik_debug(const char *unit, int line, const char *fmt, ...) {
    if (!lumvik_debug_on())
        return;
    std::fprintf(stderr, "lumvik-debug [%s:%d]> ", unit, line);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
}
