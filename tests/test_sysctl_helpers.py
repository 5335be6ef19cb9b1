"""The kernel query routines: fixed-buffer and allocating reads of sysctl nodes, by number and by
name, and how each of their failures reaches Python."""
import ctypes
import errno
import os
import struct

import pytest

import _lumvik_bsd
from conftest import LIB, debug_lines, flag

c_int, c_size_t, c_void_p, byref = ctypes.c_int, ctypes.c_size_t, ctypes.c_void_p, ctypes.byref
libc = ctypes.CDLL(None)
libc.free.argtypes, libc.free.restype = [c_void_p], None

ARGMAX_MIB = (1, 8)  # CTL_KERN, KERN_ARGMAX
PROC_TABLE_MIB = (1, 14, 8, 0)  # CTL_KERN, KERN_PROC, KERN_PROC_PROC, 0
KINFO_PROC_SIZE = 1088
FILL = 0xAA
UNIT = "lumvik-debug [arch/posix/sysctl:{}]> "
ENOENT_TEXT, ENOMEM_TEXT = os.strerror(errno.ENOENT), os.strerror(errno.ENOMEM)


def mib(numbers):
    return (c_int * len(numbers))(*numbers)


def filled(n):
    return ctypes.create_string_buffer(bytes([FILL]) * n, n)


def read_fixed(by, node, size, buf=None):
    """Reads node (a MIB tuple or a dotted name) into a fixed buffer; returns the buffer."""
    buf = buf if buf is not None else filled(size)
    if by == "number":
        LIB.lumvik_sysctl(mib(node), len(node), buf, size)
    else:
        LIB.lumvik_sysctlbyname(node.encode(), buf, size)
    return buf


def read_alloc(by, node, out=None, length=None):
    """Reads node into a buffer the routine allocates; returns (pointer, bytes) and frees it."""
    out = out if out is not None else c_void_p()
    length = length if length is not None else c_size_t()
    if by == "number":
        LIB.lumvik_sysctl_malloc(mib(node), len(node), byref(out), byref(length))
    else:
        LIB.lumvik_sysctlbyname_malloc(node.encode(), byref(out), byref(length))
    try:
        return out.value, ctypes.string_at(out, length.value)
    finally:
        libc.free(out)


def alloc_lines(by, what):
    """The debug line of an allocating read: what is "size = 0" or "retry"."""
    if by == "number":
        line = {"size = 0": 60, "retry": 92}[what]
        return UNIT.format(line) + f"lumvik_sysctl_malloc() {what}\n"
    line = {"size = 0": 184, "retry": 220}[what]
    return UNIT.format(line) + f"lumvik_sysctlbyname_malloc() {what}\n"


def target(by):
    return ARGMAX_MIB if by == "number" else "kern.argmax"


def call_text(by, name="kern.argmax"):
    return "sysctl()" if by == "number" else f"sysctlbyname('{name}')"


@pytest.fixture
def quiet():
    with debug_lines(False):
        yield


BY = pytest.mark.parametrize("by", ["number", "name"])


# --- argument checks --------------------------------------------------------------------------

def _bad_calls():
    m, buf, out, n = mib(ARGMAX_MIB), filled(8), c_void_p(), c_size_t()
    return {
        "lumvik_sysctl": [
            lambda: LIB.lumvik_sysctl(None, 2, buf, 8),
            lambda: LIB.lumvik_sysctl(m, 0, buf, 8),
            lambda: LIB.lumvik_sysctl(m, 2, None, 8),
            lambda: LIB.lumvik_sysctl(m, 2, buf, 0),
        ],
        "lumvik_sysctl_malloc": [
            lambda: LIB.lumvik_sysctl_malloc(None, 2, byref(out), byref(n)),
            lambda: LIB.lumvik_sysctl_malloc(m, 0, byref(out), byref(n)),
            lambda: LIB.lumvik_sysctl_malloc(m, 2, None, byref(n)),
            lambda: LIB.lumvik_sysctl_malloc(m, 2, byref(out), None),
        ],
        "lumvik_sysctlbyname": [
            lambda: LIB.lumvik_sysctlbyname(None, buf, 8),
            lambda: LIB.lumvik_sysctlbyname(b"kern.argmax", None, 8),
            lambda: LIB.lumvik_sysctlbyname(b"kern.argmax", buf, 0),
        ],
        "lumvik_sysctlbyname_malloc": [
            lambda: LIB.lumvik_sysctlbyname_malloc(None, byref(out), byref(n)),
            lambda: LIB.lumvik_sysctlbyname_malloc(b"kern.argmax", None, byref(n)),
            lambda: LIB.lumvik_sysctlbyname_malloc(b"kern.argmax", byref(out), None),
        ],
    }, buf, out, n


@pytest.mark.parametrize("routine", ["lumvik_sysctl", "lumvik_sysctl_malloc", "lumvik_sysctlbyname",
                                     "lumvik_sysctlbyname_malloc"])
def test_bad_arguments_are_refused_before_the_kernel_is_asked(control, routine):
    # Were the kernel asked, this failure would show instead.
    control.fail("kern.argmax", errno.EIO)
    calls, buf, out, n = _bad_calls()
    for i, call in enumerate(calls[routine]):
        with pytest.raises(RuntimeError) as info:
            call()
        assert info.value.args == (f"{routine}() invalid args passed to function",), i
    assert buf.raw == bytes([FILL]) * 8 and out.value is None and n.value == 0


# --- fixed-buffer reads -----------------------------------------------------------------------

@BY
def test_fixed_read_of_argmax(by):
    buf = read_fixed(by, target(by), 4)
    assert struct.unpack("i", buf.raw)[0] == os.sysconf("SC_ARG_MAX")


@BY
def test_fixed_read_leaves_the_bytes_behind_a_shorter_value(by):
    buf = read_fixed(by, target(by), 12)
    assert struct.unpack("i", buf.raw[:4])[0] == os.sysconf("SC_ARG_MAX")
    assert buf.raw[4:] == bytes([FILL]) * 8


@BY
def test_fixed_read_of_an_empty_value_succeeds_untouched(control, by):
    control.answer("kern.argmax", b"")
    assert read_fixed(by, target(by), 4).raw == bytes([FILL]) * 4


@BY
def test_fixed_read_of_a_longer_value_fails_without_overflow(control, by):
    control.answer("kern.argmax", b"12345678")
    buf = filled(8)
    with pytest.raises(OSError) as info:
        read_fixed(by, target(by), 4, buf)
    assert type(info.value) is OSError
    assert info.value.args == (errno.ENOMEM, f"{ENOMEM_TEXT} (originated from {call_text(by)})")
    assert buf.raw[4:] == bytes([FILL]) * 4


# --- failures common to all four reads ----------------------------------------------------------

READS = pytest.mark.parametrize("how, by, suffix", [
    ("fixed", "number", ""),
    ("fixed", "name", ""),
    ("alloc", "number", " malloc 1/3"),
    ("alloc", "name", " malloc 1/3"),
], ids=["sysctl", "sysctlbyname", "sysctl_malloc", "sysctlbyname_malloc"])


def read(how, by, node):
    return read_fixed(by, node, 8) if how == "fixed" else read_alloc(by, node)


@READS
def test_unknown_node_is_file_not_found(how, by, suffix):
    node = (1, 9999) if by == "number" else "kern.no_such_node"
    with pytest.raises(FileNotFoundError) as info:
        read(how, by, node)
    text = call_text(by, "kern.no_such_node") + suffix
    assert info.value.args == (errno.ENOENT, f"{ENOENT_TEXT} (originated from {text})")


@READS
@pytest.mark.parametrize("err", [errno.EPERM, errno.ENOMEM])
def test_failing_node_reports_its_errno_without_retry(control, debug_flag, capfd, how, by, suffix, err):
    control.fail("kern.argmax", err)
    with pytest.raises(OSError) as info:
        read(how, by, target(by))
    assert info.value.args == (err, f"{os.strerror(err)} (originated from {call_text(by)}{suffix})")
    assert type(info.value) is (PermissionError if err == errno.EPERM else OSError)
    assert capfd.readouterr().err == ""


@pytest.mark.parametrize("by", ["number", "name"])
def test_fetch_failing_after_the_probe_is_not_retried(control, debug_flag, capfd, by):
    control.fail_fetch("kern.argmax", errno.EPERM)
    with pytest.raises(PermissionError) as info:
        read_alloc(by, target(by))
    assert info.value.args == (errno.EPERM, f"{os.strerror(errno.EPERM)} (originated from {call_text(by)} malloc 3/3)")
    assert capfd.readouterr().err == ""  # no retry line


@pytest.mark.parametrize("how", ["fixed", "alloc"])
def test_long_node_name_is_cut_in_the_message(how):
    suffix = " malloc 1/3" if how == "alloc" else ""
    # "sysctlbyname('" and "')" take 16 bytes: 239 fills the 255 that fit exactly.
    for length in (239 - len(suffix), 240 - len(suffix), 400):
        name = "x" * length
        with pytest.raises(FileNotFoundError) as info:
            read(how, "name", name)
        text = (f"sysctlbyname('{name}')" + suffix)[:255]
        assert info.value.strerror == f"{ENOENT_TEXT} (originated from {text})", length


@pytest.mark.parametrize("how", ["fixed", "alloc"])
def test_node_name_is_not_a_format(how):
    name = "kern.%s%d%n%%"
    with pytest.raises(FileNotFoundError) as info:
        read(how, "name", name)
    suffix = " malloc 1/3" if how == "alloc" else ""
    assert info.value.strerror == f"{ENOENT_TEXT} (originated from sysctlbyname('{name}'){suffix})"


# --- allocating reads ------------------------------------------------------------------------------

@BY
def test_alloc_read_of_argmax(quiet, capfd, by):
    _, data = read_alloc(by, target(by))
    assert len(data) == 4
    assert struct.unpack("i", data)[0] == os.sysconf("SC_ARG_MAX")
    assert capfd.readouterr().err == ""


@BY
def test_alloc_read_returns_exactly_what_the_node_holds(control, by):
    value = bytes(range(1, 200))
    control.answer("kern.argmax", value)
    assert read_alloc(by, target(by))[1] == value


def test_alloc_read_of_the_process_table(debug_flag, capfd):
    # The size probe overestimates; the length reported is what the kernel wrote.
    _, data = read_alloc("number", PROC_TABLE_MIB)
    assert data and len(data) % KINFO_PROC_SIZE == 0
    # Every record was written by the kernel: none is left zero-filled from the allocation.
    records = [data[i:i + KINFO_PROC_SIZE] for i in range(0, len(data), KINFO_PROC_SIZE)]
    assert all(struct.unpack_from("i", r)[0] == KINFO_PROC_SIZE for r in records)  # ki_structsize
    assert capfd.readouterr().err == ""


@BY
def test_alloc_read_of_a_zero_size_node(control, quiet, capfd, by):
    control.answer("kern.argmax", b"")
    pointer, data = read_alloc(by, target(by))
    assert pointer is not None and data == b""
    assert capfd.readouterr().err == ""
    _lumvik_bsd.set_debug(True)
    pointer, data = read_alloc(by, target(by))
    assert pointer is not None and data == b""
    assert capfd.readouterr().err == alloc_lines(by, "size = 0")


@BY
@pytest.mark.parametrize("times", [1, 9])
def test_alloc_read_retries_when_the_node_grows(control, debug_flag, capfd, by, times):
    control.grow("kern.argmax", times)
    _, data = read_alloc(by, target(by))
    assert struct.unpack("i", data)[0] == os.sysconf("SC_ARG_MAX")
    assert capfd.readouterr().err == alloc_lines(by, "retry") * times


@BY
def test_alloc_read_gives_up_after_ten_fetches(control, debug_flag, capfd, by):
    control.grow("kern.argmax", 11)
    out, length = c_void_p(0x1234), c_size_t(777)
    with pytest.raises(RuntimeError) as info:
        read_alloc(by, target(by), out, length)
    assert info.value.args == (f"{call_text(by)} buffer allocation retry limit exceeded",)
    assert (out.value, length.value) == (0x1234, 777)
    assert capfd.readouterr().err == alloc_lines(by, "retry") * 10
    # Exactly ten fetches were made: the eleventh growth is left for the next call.
    read_alloc(by, target(by))
    assert capfd.readouterr().err == alloc_lines(by, "retry")


@BY
def test_failed_alloc_read_leaves_the_outputs_alone(control, by):
    control.fail("kern.argmax", errno.EPERM)
    out, length = c_void_p(0x1234), c_size_t(777)
    with pytest.raises(PermissionError):
        read_alloc(by, target(by), out, length)
    assert (out.value, length.value) == (0x1234, 777)


# --- KERN_ARGMAX ----------------------------------------------------------------------------------

def test_argmax():
    assert LIB.lumvik_sysctl_argmax() == os.sysconf("SC_ARG_MAX")


@pytest.mark.parametrize("setup, exc, message", [
    (("answer", struct.pack("i", 0)), RuntimeError, "sysctl(KERN_ARGMAX) return <= 0"),
    (("answer", struct.pack("i", -1)), RuntimeError, "sysctl(KERN_ARGMAX) return <= 0"),
    (("answer", struct.pack("q", 1)), OSError, f"{ENOMEM_TEXT} (originated from sysctl())"),
    (("fail", errno.EPERM), PermissionError, f"{os.strerror(errno.EPERM)} (originated from sysctl())"),
], ids=["zero", "negative", "too-long", "eperm"])
def test_argmax_failures(control, setup, exc, message):
    getattr(control, setup[0])("kern.argmax", setup[1])
    with pytest.raises(exc) as info:
        LIB.lumvik_sysctl_argmax()
    assert type(info.value) is exc
    assert info.value.args[-1] == message
