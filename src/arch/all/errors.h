// Error routines: every failure of the module becomes a Python exception through these.
// Those returning PyObject * return NULL so that a failing function can return their result.
#pragma once
#include "module.h"

LUMVIK_EXPORT PyObject *lumvik_oserror(void);
LUMVIK_EXPORT PyObject *lumvik_oserror_wsyscall(const char *syscall);
LUMVIK_EXPORT PyObject *lumvik_oserror_nsp(const char *msg);
LUMVIK_EXPORT PyObject *lumvik_oserror_ad(const char *msg);
LUMVIK_EXPORT PyObject *lumvik_runtime_error(const char *fmt, ...);
LUMVIK_EXPORT int lumvik_badargs(const char *fname);

// The debug line "lumvik-debug [unit:line]> message" on stderr, written only in debug mode.
void lumvik_debug(const char *unit, int line, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
