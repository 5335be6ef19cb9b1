"""The module itself: import, start-up flags, constants, its small functions and its tables."""
import ctypes
import os
import resource
import types

import pytest

import _lumvik_bsd
from conftest import LIB, flag, run_python

# Functions defined with the module, in the order of its method table.
TABLE_A = [
    "proc_cmdline", "proc_cwd", "proc_environ", "proc_name", "proc_num_fds", "proc_oneshot_info",
    "proc_open_files", "proc_threads", "proc_num_threads", "proc_cpu_affinity_get",
    "proc_cpu_affinity_set", "proc_exe", "proc_getrlimit", "proc_memory_maps", "proc_net_connections",
    "proc_setrlimit", "boot_time", "cpu_count_logical", "cpu_stats", "cpu_times", "disk_io_counters",
    "disk_partitions", "net_connections", "net_io_counters", "per_cpu_times", "pids", "swap_mem",
    "heap_info", "heap_trim", "virtual_mem", "cpu_freq", "cpu_topology", "sensors_battery",
    "sensors_cpu_temperature", "check_pid_range", "set_debug",
]
# Functions added one by one at start-up, in this order.
TABLE_B = [
    "getpagesize", "net_if_addrs", "net_if_flags", "net_if_is_running", "net_if_mtu",
    "proc_priority_get", "proc_priority_set", "net_if_duplex_speed", "users", "proc_is_zombie",
]

EARLY_CONSTANTS = {
    "AF_LINK": 18, "RLIMIT_AS": 10, "RLIMIT_CORE": 4, "RLIMIT_CPU": 0, "RLIMIT_DATA": 2,
    "RLIMIT_FSIZE": 1, "RLIMIT_MEMLOCK": 6, "RLIMIT_NOFILE": 8, "RLIMIT_NPROC": 7, "RLIMIT_RSS": 5,
    "RLIMIT_STACK": 3, "RLIMIT_SWAP": 12, "RLIMIT_SBSIZE": 9, "RLIMIT_NPTS": 11,
    "RLIM_INFINITY": 2**63 - 1,
}
LATE_CONSTANTS = {
    "version": 722, "SIDL": 1, "SRUN": 2, "SSLEEP": 3, "SSTOP": 4, "SZOMB": 5, "SWAIT": 6, "SLOCK": 7,
    "TCPS_CLOSED": 0, "TCPS_CLOSING": 7, "TCPS_CLOSE_WAIT": 5, "TCPS_LISTEN": 1, "TCPS_ESTABLISHED": 4,
    "TCPS_SYN_SENT": 2, "TCPS_SYN_RECEIVED": 3, "TCPS_FIN_WAIT_1": 6, "TCPS_FIN_WAIT_2": 9,
    "TCPS_LAST_ACK": 8, "TCPS_TIME_WAIT": 10, "LUMVIK_CONN_NONE": 128,
}

FLAGS_SNIPPET = (
    "import ctypes, _lumvik_bsd\n"
    "lib = ctypes.PyDLL(_lumvik_bsd.__file__)\n"
    "print(ctypes.c_int.in_dll(lib, 'LUMVIK_DEBUG').value, ctypes.c_int.in_dll(lib, 'LUMVIK_TESTING').value)\n"
)


def module_functions():
    return {k: v for k, v in vars(_lumvik_bsd).items() if isinstance(v, types.BuiltinFunctionType)}


# --- import and start-up ----------------------------------------------------------------------

@pytest.mark.parametrize("env, expected", [
    ({}, "0 0"),
    ({"LUMVIK_DEBUG": ""}, "1 0"),
    ({"LUMVIK_TESTING": ""}, "0 1"),
    ({"LUMVIK_DEBUG": "0", "LUMVIK_TESTING": "no"}, "1 1"),
], ids=["unset", "debug-empty", "testing-empty", "both-falsy-looking"])
def test_flags_come_from_the_environment_at_import(env, expected):
    proc = run_python(FLAGS_SNIPPET, env_extra=env)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == expected.split()


def test_setup_reads_the_environment_and_returns_zero():
    code = (
        FLAGS_SNIPPET
        + "import os\n"
        "os.environ['LUMVIK_DEBUG'] = 'x'\n"
        "lib.lumvik_setup.restype = ctypes.c_int\n"
        "print(lib.lumvik_setup())\n"
        "print(ctypes.c_int.in_dll(lib, 'LUMVIK_DEBUG').value, ctypes.c_int.in_dll(lib, 'LUMVIK_TESTING').value)\n"
    )
    proc = run_python(code)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split("\n")[:3] == ["0 0", "0", "1 0"]


def test_import_keeps_the_interpreter_free_of_the_gil():
    proc = run_python("import sys, _lumvik_bsd; print(sys._is_gil_enabled())", env_remove=("PYTHON_GIL",))
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "False"
    assert "GIL" not in proc.stderr


def test_module_identity():
    assert _lumvik_bsd.__name__ == "_lumvik_bsd"
    assert _lumvik_bsd.__doc__ is None


# --- constants and exported globals ---------------------------------------------------------

def test_constant_values():
    expected = {**EARLY_CONSTANTS, **LATE_CONSTANTS}
    got = {name: getattr(_lumvik_bsd, name, None) for name in expected}
    assert got == expected
    assert all(type(v) is int for v in got.values())


def test_exported_globals():
    assert ctypes.c_int.in_dll(LIB, "LUMVIK_CONN_NONE").value == 128 == _lumvik_bsd.LUMVIK_CONN_NONE
    assert ctypes.py_object.in_dll(LIB, "ZombieProcessError").value is _lumvik_bsd.ZombieProcessError


def test_zombie_process_error_class():
    cls = _lumvik_bsd.ZombieProcessError
    assert isinstance(cls, type)
    assert cls.__bases__ == (Exception,)
    assert cls.__module__ == "_lumvik_posix"
    assert cls.__name__ == "ZombieProcessError"
    with pytest.raises(Exception) as info:
        raise cls(42)
    assert info.value.args == (42,)


def test_add_constants_on_a_fresh_module():
    target = types.ModuleType("scratch")
    assert LIB.lumvik_posix_add_constants(target) == 0
    added = [k for k in vars(target) if not k.startswith("__")]
    assert added == list(EARLY_CONSTANTS)
    assert {k: getattr(target, k) for k in added} == EARLY_CONSTANTS


def test_add_constants_refuses_a_null_module():
    assert LIB.lumvik_posix_add_constants(ctypes.py_object()) == -1


# --- the method tables --------------------------------------------------------------------

def test_attributes_appear_in_start_up_order():
    expected = TABLE_A + list(EARLY_CONSTANTS) + TABLE_B + ["ZombieProcessError"] + list(LATE_CONSTANTS)
    present = [k for k in vars(_lumvik_bsd) if not k.startswith("__")]
    assert set(present) <= set(expected), set(present) - set(expected)
    assert present == [k for k in expected if k in present]
    # Constants and the exception class are always there; functions are checked for order.
    assert set(expected) - set(TABLE_A) - set(TABLE_B) <= set(present)


def test_every_function_has_its_exported_entry_point():
    for name, fn in module_functions().items():
        symbol = "lumvik_getpagesize_pywrapper" if name == "getpagesize" else "lumvik_" + name
        assert hasattr(LIB, symbol), symbol
        assert fn.__doc__ is None, name


def test_table_a_functions_are_bound_to_the_module():
    for name, fn in module_functions().items():
        if name in TABLE_A:
            assert fn.__self__ is _lumvik_bsd, name
            assert fn.__module__ == "_lumvik_bsd", name


def test_table_b_functions_carry_the_module_object():
    found = [name for name in module_functions() if name in TABLE_B]
    assert "getpagesize" in found
    for name in found:
        fn = getattr(_lumvik_bsd, name)
        assert fn.__self__ is None, name
        assert fn.__module__ is _lumvik_bsd, name


# --- set_debug ----------------------------------------------------------------------------

@pytest.fixture
def restore_debug():
    before = flag("LUMVIK_DEBUG").value
    yield
    _lumvik_bsd.set_debug(before)


@pytest.mark.parametrize("value, expected", [
    ("x", 1), (7, 1), ([], 0), (None, 0),
])
def test_set_debug_stores_the_truth_of_its_argument(restore_debug, value, expected):
    _lumvik_bsd.set_debug(not expected)
    assert _lumvik_bsd.set_debug(value) is None
    assert flag("LUMVIK_DEBUG").value == expected


class Undecidable:
    def __bool__(self):
        raise ZeroDivisionError("no truth here")


@pytest.mark.parametrize("start", [0, 1])
def test_set_debug_with_a_failing_truth_test_keeps_the_flag(restore_debug, start):
    _lumvik_bsd.set_debug(start)
    with pytest.raises(ZeroDivisionError, match="no truth here"):
        _lumvik_bsd.set_debug(Undecidable())
    assert flag("LUMVIK_DEBUG").value == start


@pytest.mark.parametrize("args", [(), (1, 2)])
def test_set_debug_takes_exactly_one_argument(restore_debug, args):
    before = flag("LUMVIK_DEBUG").value
    with pytest.raises(TypeError):
        _lumvik_bsd.set_debug(*args)
    assert flag("LUMVIK_DEBUG").value == before


def test_set_debug_leaves_testing_mode_alone(restore_debug):
    before = flag("LUMVIK_TESTING").value
    _lumvik_bsd.set_debug(True)
    _lumvik_bsd.set_debug(False)
    assert flag("LUMVIK_TESTING").value == before


# --- check_pid_range ------------------------------------------------------------------------

@pytest.mark.parametrize("pid", [0, 2**31 - 1])
def test_check_pid_range_accepts(pid):
    assert _lumvik_bsd.check_pid_range(pid) is None


@pytest.mark.parametrize("pid, exc, message", [
    (-1, ValueError, "pid must be a positive integer"),
    (2**31, OverflowError, None),
    (-2**31 - 1, OverflowError, None),
    ("1", TypeError, None),
])
def test_check_pid_range_refuses(pid, exc, message):
    with pytest.raises(exc) as info:
        _lumvik_bsd.check_pid_range(pid)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message


# --- page size --------------------------------------------------------------------------------

def test_getpagesize_matches_the_system():
    size = os.sysconf("SC_PAGESIZE")
    assert size == resource.getpagesize()
    got = _lumvik_bsd.getpagesize()
    assert type(got) is int and got == size
    assert LIB.lumvik_getpagesize() == size


def test_getpagesize_ignores_its_arguments():
    assert _lumvik_bsd.getpagesize(1, 2) == os.sysconf("SC_PAGESIZE")
