"""Bounded string routines, the error routines behind every exception of the module, the debug
line and the testing-mode stop on misuse of a string routine."""
import ctypes
import errno
import os

import pytest

import _lumvik_bsd
from conftest import LIB, debug_lines, flag, run_python

c_char_p, c_int, c_size_t = ctypes.c_char_p, ctypes.c_int, ctypes.c_size_t
FILL = 0xAA
STR_UNIT = "lumvik-debug [arch/all/str:{}]> "


def filled(n):
    """A buffer of n bytes that all hold FILL, so that stray writes show."""
    return ctypes.create_string_buffer(bytes([FILL]) * n, n)


def text(buf):
    return buf.raw.split(b"\0", 1)[0]


@pytest.fixture
def quiet():
    """Debug lines off for one test; misuse must not end the test run."""
    if flag("LUMVIK_TESTING").value:
        pytest.skip("misuse ends the process in testing mode")
    with debug_lines(False):
        yield


@pytest.fixture
def loud(quiet):
    _lumvik_bsd.set_debug(True)


# --- str_format ---------------------------------------------------------------------------------

@pytest.mark.parametrize("size, fmt, values, result, expected", [
    (1, b"", (), 0, b""),
    (1, b"x", (), -1, b""),
    (8, b"%s", (c_char_p(b"abcdefg"),), 7, b"abcdefg"),
    (8, b"%s", (c_char_p(b"abcdefgh"),), -1, b"abcdefg"),
    (16, b"%d-%s%%", (c_int(-42), c_char_p(b"ab")), 7, b"-42-ab%"),
])
def test_str_format(quiet, capfd, size, fmt, values, result, expected):
    buf = filled(size + 4)
    assert LIB.str_format(buf, c_size_t(size), c_char_p(fmt), *values) == result
    assert buf.raw[:len(expected) + 1] == expected + b"\0"
    assert buf.raw[size:] == bytes([FILL]) * 4  # nothing written past the size
    assert capfd.readouterr().err == ""


def test_str_format_cut_writes_a_debug_line_naming_the_format(loud, capfd):
    buf = filled(8)
    assert LIB.str_format(buf, c_size_t(8), c_char_p(b"%s-%s"), c_char_p(b"abcd"), c_char_p(b"efgh")) == -1
    assert text(buf) == b"abcd-ef"
    assert capfd.readouterr().err == STR_UNIT.format(55) + "str_format: error in format '%s-%s'\n"


def test_str_format_formatting_error_leaves_a_terminated_buffer(loud, capfd):
    # A lone surrogate has no multibyte form in any locale.
    buf = filled(16)
    assert LIB.str_format(buf, c_size_t(16), c_char_p(b"%lc"), c_int(0xD800)) == -1
    assert buf.raw[15] == 0
    assert capfd.readouterr().err == STR_UNIT.format(55) + "str_format: error in format '%lc'\n"


@pytest.mark.parametrize("debug", [False, True])
def test_str_format_size_zero_leaves_the_buffer_alone(quiet, capfd, debug):
    _lumvik_bsd.set_debug(debug)
    buf = filled(4)
    assert LIB.str_format(buf, c_size_t(0), c_char_p(b"abc")) == -1
    assert buf.raw == bytes([FILL]) * 4
    expected = STR_UNIT.format(27) + "str_format: invalid arg 'size' = 0\n" if debug else ""
    assert capfd.readouterr().err == expected


# --- str_copy ---------------------------------------------------------------------------------

@pytest.mark.parametrize("src, size, expected", [
    (b"abcdef", 4, b"abc\0"),
    (b"abc", 4, b"abc\0"),
    (b"ab", 8, b"ab\0\0\0\0\0\0"),
])
def test_str_copy(quiet, capfd, src, size, expected):
    buf = filled(size + 4)
    assert LIB.str_copy(buf, size, src) == 0
    assert buf.raw == expected + bytes([FILL]) * 4
    assert capfd.readouterr().err == ""  # a cut copy is not reported


@pytest.mark.parametrize("debug", [False, True])
def test_str_copy_size_zero(quiet, capfd, debug):
    _lumvik_bsd.set_debug(debug)
    buf = filled(4)
    assert LIB.str_copy(buf, 0, b"abc") == -1
    assert buf.raw == bytes([FILL]) * 4
    expected = STR_UNIT.format(27) + "str_copy: invalid arg 'dst_size' = 0\n" if debug else ""
    assert capfd.readouterr().err == expected


# --- str_append -------------------------------------------------------------------------------

@pytest.mark.parametrize("start, src, size, result, expected", [
    (b"ab", b"cd", 5, 0, b"abcd"),
    (b"", b"abc", 4, 0, b"abc"),
    (b"ab", b"cd", 4, -1, b"abc"),
    (b"abcd", b"x", 5, -1, b"abcd"),
])
def test_str_append(loud, capfd, start, src, size, result, expected):
    buf = ctypes.create_string_buffer(start, size + 4)
    assert LIB.str_append(buf, size, src) == result
    assert text(buf) == expected
    assert buf.raw[size:] == b"\0" * 4
    err = capfd.readouterr().err
    assert err == ("" if result == 0 else STR_UNIT.format(27) + "str_append: truncated\n")


def test_str_append_to_an_unterminated_destination_changes_nothing(loud, capfd):
    buf = ctypes.create_string_buffer(b"abcd", 4)  # no terminator within the size
    assert LIB.str_append(buf, 4, b"x") == -1
    assert buf.raw == b"abcd"
    assert capfd.readouterr().err == STR_UNIT.format(27) + "str_append: truncated\n"


@pytest.mark.parametrize("dst, size, src", [
    (True, 0, b"x"),
    (None, 8, b"x"),
    (True, 8, None),
], ids=["size-zero", "null-dst", "null-src"])
def test_str_append_invalid_arguments(loud, capfd, dst, size, src):
    buf = ctypes.create_string_buffer(b"ab", 8)
    assert LIB.str_append(buf if dst else None, size, src) == -1
    assert buf.raw == b"ab" + b"\0" * 6
    assert capfd.readouterr().err == STR_UNIT.format(27) + "str_append: invalid arg\n"


# --- testing mode ------------------------------------------------------------------------------

PRELUDE = (
    "import ctypes, sys, _lumvik_bsd\n"
    "lib = ctypes.PyDLL(_lumvik_bsd.__file__)\n"
    "S = ctypes.c_size_t\n"
    "buf = ctypes.create_string_buffer(b'ab', 8)\n"
    "print('before', flush=True)\n"
)


@pytest.mark.parametrize("call, message", [
    ("lib.str_format(buf, S(0), ctypes.c_char_p(b'x'))", "str_format: invalid arg 'size' = 0"),
    ("lib.str_copy(buf, S(0), ctypes.c_char_p(b'x'))", "str_copy: invalid arg 'dst_size' = 0"),
    ("lib.str_append(buf, S(8), None)", "str_append: invalid arg"),
    ("lib.str_append(buf, S(4), ctypes.c_char_p(b'cd'))", "str_append: truncated"),
], ids=["format-size", "copy-size", "append-null", "append-cut"])
def test_misuse_in_testing_mode_ends_the_process(call, message):
    # Debug lines on as well: testing mode writes only its own line.
    env = {"LUMVIK_TESTING": "1", "LUMVIK_DEBUG": ""}
    proc = run_python(PRELUDE + call + "\nprint('after', flush=True)\n", env_extra=env)
    assert proc.returncode == 1
    assert proc.stdout == "before\n"
    assert proc.stderr == f"CRITICAL: {message}\n"


def test_cut_format_and_copy_are_not_fatal_in_testing_mode():
    code = PRELUDE + (
        "print(lib.str_format(buf, S(4), ctypes.c_char_p(b'abcdef')), buf.value)\n"
        "print(lib.str_copy(buf, S(3), ctypes.c_char_p(b'xyz')), buf.value)\n"
    )
    proc = run_python(code, env_extra={"LUMVIK_TESTING": ""})
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout == "before\n-1 b'abc'\n0 b'xy'\n"
    assert proc.stderr == ""


# --- error routines ------------------------------------------------------------------------------

def raised(fn, *args, err=None):
    if err is not None:
        ctypes.set_errno(err)
    with pytest.raises(BaseException) as info:
        fn(*args)
    return info.value


ERRNO_CLASSES = [
    (errno.ENOENT, FileNotFoundError),
    (errno.EPERM, PermissionError),
    (errno.EACCES, PermissionError),
    (errno.ESRCH, ProcessLookupError),
    (errno.EINVAL, OSError),
]


def test_oserror_from_errno():
    for number, cls in ERRNO_CLASSES:
        exc = raised(LIB.lumvik_oserror, err=number)
        assert type(exc) is cls, number
        assert exc.errno == number
        assert exc.strerror == os.strerror(number)
        assert exc.filename is None


def test_oserror_wsyscall():
    for number, cls in ERRNO_CLASSES + [(0, OSError)]:
        exc = raised(LIB.lumvik_oserror_wsyscall, b"sysctl(kern.foo)", err=number)
        message = f"{os.strerror(number)} (originated from sysctl(kern.foo))"
        assert type(exc) is cls, number
        assert exc.args == (number, message)
        assert exc.filename is None


@pytest.mark.parametrize("routine, cls, number, template", [
    ("lumvik_oserror_nsp", ProcessLookupError, 3, "force no such process (originated from {})"),
    ("lumvik_oserror_ad", PermissionError, 13, "force permission denied (originated from {})"),
])
def test_forced_oserrors_ignore_errno(routine, cls, number, template):
    for prior in (0, errno.ENOENT, errno.EPERM):
        exc = raised(getattr(LIB, routine), b"kill()", err=prior)
        assert type(exc) is cls
        assert exc.args == (number, template.format("kill()"))
        assert exc.filename is None


@pytest.mark.parametrize("routine, prefix", [
    ("lumvik_oserror_wsyscall", os.strerror(errno.ENOENT) + " (originated from "),
    ("lumvik_oserror_nsp", "force no such process (originated from "),
    ("lumvik_oserror_ad", "force permission denied (originated from "),
])
def test_long_messages_are_cut_at_511_bytes(routine, prefix):
    for extra in (0, 1, 200):  # bytes beyond the 511 that fit: 0 fits exactly
        name = "n" * (511 - len(prefix) - 1 + extra)
        full = prefix + name + ")"
        exc = raised(getattr(LIB, routine), name.encode(), err=errno.ENOENT)
        assert exc.strerror == full[:511], extra


def test_message_cut_inside_a_character_still_raises_oserror():
    # The cut splits a two-byte character: the message cannot be decoded, a bare OSError remains.
    prefix = os.strerror(errno.ENOENT) + " (originated from "
    name = "a" * ((512 - len(prefix)) % 2) + "é" * 300
    assert len((prefix + name).encode()[:511].decode("utf-8", "ignore").encode()) == 510
    exc = raised(LIB.lumvik_oserror_wsyscall, name.encode(), err=errno.ENOENT)
    assert type(exc) is OSError
    assert exc.args == ()


@pytest.mark.parametrize("fmt, values, message", [
    (b"sysctl() size mismatch", (), "sysctl() size mismatch"),
    (b"%s syscall failed", (c_char_p(b"kill"),), "kill syscall failed"),
    (b"%d of %zu, 100%%", (c_int(-3), c_size_t(7)), "-3 of 7, 100%"),
    (b"got %R", (ctypes.py_object([1, "a"]),), "got [1, 'a']"),  # the interpreter's own directive
])
def test_runtime_error_formats_with_the_interpreter(fmt, values, message):
    exc = raised(LIB.lumvik_runtime_error, c_char_p(fmt), *values)
    assert type(exc) is RuntimeError
    assert exc.args == (message,)


def test_badargs():
    exc = raised(LIB.lumvik_badargs, b"proc_name")
    assert type(exc) is RuntimeError
    assert exc.args == ("proc_name() invalid args passed to function",)
