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

// The system's text for an error number, in the caller's buffer: strerror may share one
// buffer among threads. strerror_r comes in two forms; each overload takes one.
static const char *error_text(int result, const char *buf) { return result == 0 ? buf : "Unknown error"; }
[[maybe_unused]] static const char *error_text(const char *result, const char *) { return result; }

PyObject *lumvik_oserror_wsyscall(const char *syscall) {
    int number = errno;
    char text[128], msg[512];
    str_format(msg, sizeof(msg), "%s (originated from %s)", error_text(strerror_r(number, text, sizeof(text)), text),
               syscall);
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
