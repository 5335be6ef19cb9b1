"""Shared fixtures: the module, its exported routines through ctypes, and the personality's
control interface, through which tests make the kernel answer what the host cannot show."""
import contextlib
import ctypes
import os
import subprocess
import sys

import pytest

import _lumvik_bsd

HAS_PERSONALITY = not sys.platform.startswith("freebsd")
# Under ./dev test --sanitize the sanitizer's allocator stands in for the C library's.
NEEDS_C_ALLOCATOR = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                   reason="the sanitizer's allocator replaces the C library's")


def _load_library():
    # use_errno: ctypes.set_errno() sets the errno a routine finds on entry.
    lib = ctypes.PyDLL(_lumvik_bsd.__file__, use_errno=True)
    c_int, c_size_t, c_char_p, c_void_p = ctypes.c_int, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_void_p
    py = ctypes.py_object
    signatures = {
        "str_copy": (c_int, [c_void_p, c_size_t, c_char_p]),
        "str_append": (c_int, [c_void_p, c_size_t, c_char_p]),
        "lumvik_oserror": (py, []),
        "lumvik_oserror_wsyscall": (py, [c_char_p]),
        "lumvik_oserror_nsp": (py, [c_char_p]),
        "lumvik_oserror_ad": (py, [c_char_p]),
        "lumvik_badargs": (c_int, [c_char_p]),
        "lumvik_sysctl": (c_int, [c_void_p, ctypes.c_uint, c_void_p, c_size_t]),
        "lumvik_sysctl_malloc": (c_int, [c_void_p, ctypes.c_uint, c_void_p, c_void_p]),
        "lumvik_sysctl_argmax": (c_size_t, []),
        "lumvik_sysctlbyname": (c_int, [c_char_p, c_void_p, c_size_t]),
        "lumvik_sysctlbyname_malloc": (c_int, [c_char_p, c_void_p, c_void_p]),
        "lumvik_getpagesize": (ctypes.c_long, []),
        "lumvik_setup": (c_int, []),
        "lumvik_posix_add_constants": (c_int, [py]),
    }
    for name, (restype, argtypes) in signatures.items():
        fn = getattr(lib, name)
        fn.restype, fn.argtypes = restype, argtypes
    # str_format and lumvik_runtime_error are variadic: callers pass ctypes values themselves.
    lib.str_format.restype = c_int
    lib.lumvik_runtime_error.restype = py
    return lib


LIB = _load_library()
@pytest.fixture
def lib():
    return LIB


def flag(name):
    return ctypes.c_int.in_dll(LIB, name)


@contextlib.contextmanager
def debug_lines(on):
    """Debug lines on or off for a while; the flag is restored afterwards."""
    before = flag("LUMVIK_DEBUG").value
    _lumvik_bsd.set_debug(on)
    try:
        yield
    finally:
        _lumvik_bsd.set_debug(before)


@pytest.fixture
def debug_flag():
    """Turns debug lines on for one test."""
    with debug_lines(True):
        yield


class Control:
    """The personality's overrides, keyed by sysctl node or library call, optionally narrowed
    to one argument list: "kern.proc.pid" or "kern.proc.pid.42"."""

    def __init__(self):
        self._lib = LIB
        for name, argtypes in {
            "lumvik_control_answer": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t],
            "lumvik_control_answer_fetches": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int],
            "lumvik_control_fail": [ctypes.c_char_p, ctypes.c_int],
            "lumvik_control_fail_fetch": [ctypes.c_char_p, ctypes.c_int],
            "lumvik_control_grow": [ctypes.c_char_p, ctypes.c_int],
            "lumvik_control_clear": [ctypes.c_char_p],
        }.items():
            fn = getattr(LIB, name)
            fn.restype, fn.argtypes = None, argtypes

    def answer(self, key, data):
        """The node (or call) answers exactly these bytes."""
        data = bytes(data)
        self._lib.lumvik_control_answer(key.encode(), data, len(data))

    def answer_fetches(self, key, data, fetches):
        """The node answers these bytes to the next `fetches` reads, then the host answers."""
        data = bytes(data)
        self._lib.lumvik_control_answer_fetches(key.encode(), data, len(data), fetches)

    def fail(self, key, err):
        """The node (or call) fails with this errno (0 included)."""
        self._lib.lumvik_control_fail(key.encode(), err)

    def fail_fetch(self, key, err):
        """Reads into a buffer fail with this errno; size probes still answer."""
        self._lib.lumvik_control_fail_fetch(key.encode(), err)

    def grow(self, key, times):
        """The node grows between size probe and fetch, `times` times in a row; bytes it was told
        to answer, it answers again afterwards."""
        self._lib.lumvik_control_grow(key.encode(), times)

    def clear(self, key=None):
        self._lib.lumvik_control_clear(key.encode() if key is not None else None)


@pytest.fixture
def control():
    if not HAS_PERSONALITY:
        pytest.skip("needs the FreeBSD personality")
    c = Control()
    yield c
    c.clear()


_CALL_OBJECT = ctypes.cast(ctypes.pythonapi.PyObject_CallObject, ctypes.c_void_p)
_M_PERTURB = -6  # glibc's malloc fills what it hands out with the complement of this byte
_PAINT_FILLS = (0x5A, 0xA5)


def painted_outcomes(fn, args, errors):
    """fn(*args) once on a stack, and a heap, painted with each of two bytes: per call its value,
    or the kind and text of one of `errors` it raised. Outcomes that differ hold memory the call
    never wrote."""
    painted = LIB.lumvik_control_call_painted  # the personality's, with the control interface
    painted.restype = ctypes.py_object
    painted.argtypes = [ctypes.c_void_p, ctypes.py_object, ctypes.py_object, ctypes.c_int]
    libc = ctypes.CDLL(None)
    outcomes = []
    for fill in _PAINT_FILLS:
        libc.mallopt(_M_PERTURB, fill)
        try:
            outcomes.append(painted(_CALL_OBJECT, fn, tuple(args), fill))
        except errors as e:
            outcomes.append((type(e), str(e)))
        finally:
            libc.mallopt(_M_PERTURB, 0)
    return outcomes


def run_python(code, env_extra=None, env_remove=()):
    """Runs code in a fresh interpreter with the module; returns the completed process."""
    env = {k: v for k, v in os.environ.items() if k not in env_remove and not k.startswith("LUMVIK_")}
    env.update(env_extra or {})
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=60)


@pytest.fixture
def children():
    from children import Children

    c = Children()
    yield c
    c.close()
