// Processes: the table, the kernel record of one process, and everything told about it.
#pragma once
#include "module.h"

#include <sys/param.h>
#include <sys/user.h>

// The pids of the process table, malloc'ed for the caller to free.
LUMVIK_EXPORT int _lumvik_pids(pid_t **pids, int *count);
LUMVIK_EXPORT int lumvik_kinfo_proc(pid_t pid, struct kinfo_proc *proc);
// 1 for a zombie, else 0; never leaves an exception.
LUMVIK_EXPORT int is_zombie(pid_t pid);

LUMVIK_EXPORT PyObject *lumvik_pids(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_oneshot_info(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_name(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_num_threads(PyObject *self, PyObject *args);

LUMVIK_EXPORT PyObject *lumvik_proc_cmdline(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_environ(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_exe(PyObject *self, PyObject *args);
LUMVIK_EXPORT void convert_kvm_err(const char *syscall, char *errbuf);

LUMVIK_EXPORT PyObject *lumvik_proc_open_files(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_cwd(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_num_fds(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_memory_maps(PyObject *self, PyObject *args);

LUMVIK_EXPORT PyObject *lumvik_proc_threads(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_cpu_affinity_get(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_cpu_affinity_set(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_getrlimit(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_proc_setrlimit(PyObject *self, PyObject *args);
