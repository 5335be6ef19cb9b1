"""What a process was started with: its arguments, its environment and its executable,
compared with what Linux shows in /proc, and the kernel answers the host cannot give on demand."""
import errno
import os
import shutil
import subprocess
import sys

import pytest

import _lumvik_bsd as m
from children import SLEEPER
from records import kinfo_proc
from truth import read_bytes, read_text

P_SYSTEM = 0x200
P_INMEM = 0x10000000
PF_KTHREAD = 0x00200000
FAKE_PID = 424242  # answered through the control interface only


def proc_entries(pid, name):
    """/proc/PID/<name> split at its NULs, as str decoded the way the module decodes."""
    data = read_bytes(f"/proc/{pid}/{name}")
    return [os.fsdecode(entry) for entry in data.split(b"\0")[:-1]] if data else []


def kernel_thread_pid():
    """A kernel thread of the host (no arguments, no environment, no executable), or skip."""
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            flags = int(read_text(f"/proc/{name}/stat").rsplit(")", 1)[1].split()[6])  # field 9
        except (OSError, IndexError, ValueError):
            continue
        if flags & PF_KTHREAD:
            return int(name)
    pytest.skip("no kernel thread visible here")


def check_oserror(info, number, message):
    assert info.value.errno == number
    assert info.value.strerror == message


# --- proc_cmdline ---

ODD_ARGUMENTS = ["plain", "", "with spaces", "tab\there", "", "ünïcode", os.fsdecode(b"not-utf8-\xff\xfe")]


def test_cmdline_of_a_child_with_odd_arguments(children):
    child = children.start(SLEEPER, args=ODD_ARGUMENTS)
    got = m.proc_cmdline(child.pid)
    assert got == [sys.executable, "-c", SLEEPER, *ODD_ARGUMENTS]
    assert got == proc_entries(child.pid, "cmdline")


def test_cmdline_of_the_caller():
    assert m.proc_cmdline(os.getpid()) == proc_entries("self", "cmdline")


def test_cmdline_of_processes_without_arguments(children):
    zombie = children.zombie()
    assert proc_entries(zombie.pid, "cmdline") == []
    assert m.proc_cmdline(zombie.pid) == []
    assert m.proc_cmdline(kernel_thread_pid()) == []


@pytest.mark.parametrize("reply, expected", [
    (b"ls\0-l\0\0", ["ls", "-l", ""]),
    (b"", []),
    (b"ls\0-l", ["ls", "-l"]),          # the last argument without its NUL
    (b"\0", [""]),
    (b"a\0\0\0b\0", ["a", "", "", "b"]),
    (b"x" * 5000, ["x" * 5000]),
    (b"/bin/\xff\0", [os.fsdecode(b"/bin/\xff")]),
])
def test_cmdline_splits_the_kernel_reply(control, reply, expected):
    control.answer(f"kern.proc.args.{FAKE_PID}", reply)
    assert m.proc_cmdline(FAKE_PID) == expected


def test_cmdline_of_missing_and_negative_pids(children):
    for pid in (children.gone_pid(), -1):
        with pytest.raises(ProcessLookupError) as info:
            m.proc_cmdline(pid)
        check_oserror(info, errno.ESRCH, f"{os.strerror(errno.ESRCH)} (originated from sysctl() malloc 1/3)")


@pytest.mark.parametrize("how, err, exc, step", [
    ("fail", errno.EACCES, PermissionError, "malloc 1/3"),
    ("fail_fetch", errno.EPERM, PermissionError, "malloc 3/3"),
    ("fail_fetch", errno.EIO, OSError, "malloc 3/3"),
])
def test_cmdline_passes_kernel_failures_on(control, children, how, err, exc, step):
    child = children.start()
    getattr(control, how)(f"kern.proc.args.{child.pid}", err)
    with pytest.raises(exc) as info:
        m.proc_cmdline(child.pid)
    check_oserror(info, err, f"{os.strerror(err)} (originated from sysctl() {step})")


def test_cmdline_of_a_reply_that_keeps_growing(control, children):
    child = children.start()
    control.grow(f"kern.proc.args.{child.pid}", 10)
    with pytest.raises(RuntimeError, match=r"^sysctl\(\) buffer allocation retry limit exceeded$"):
        m.proc_cmdline(child.pid)
    control.grow(f"kern.proc.args.{child.pid}", 9)  # the tenth fetch gets it
    assert m.proc_cmdline(child.pid) == child.args


# --- proc_environ ---

ODD_ENVIRONMENT = {
    "A": "1",
    "WITH_SPACES": "a b  c",
    "EQUALS": "x=y=z",
    "EMPTY": "",
    "UNICODE": "ünï",
    "RAW": os.fsdecode(b"\xff\xfe"),
}


def test_environ_of_a_child_started_with_a_known_environment(children):
    child = children.start(env=ODD_ENVIRONMENT)
    got = m.proc_environ(child.pid)
    assert got == ODD_ENVIRONMENT
    assert got == dict(entry.split("=", 1) for entry in proc_entries(child.pid, "environ"))


def test_environ_of_the_caller():
    expected = dict(entry.split("=", 1) for entry in proc_entries("self", "environ") if "=" in entry)
    assert m.proc_environ(os.getpid()) == expected


def test_environ_of_a_kernel_thread_is_empty():
    assert m.proc_environ(kernel_thread_pid()) == {}


def test_environ_of_a_zombie_is_empty(children):
    # The process has exited but still exists until reaped: no environment, and no
    # no-such-process error either (Linux refuses its /proc/PID/environ with ESRCH).
    zombie = children.zombie()
    assert m.proc_environ(zombie.pid) == {}


@pytest.mark.parametrize("entries, expected", [
    (b"A=1\0NOEQUALS\0B=x=y\0=v\0A=2\0", {"A": "2", "B": "x=y", "": "v"}),
    (b"", {}),
    (b"A=1\0B=2", {"A": "1", "B": "2"}),  # the last entry without its NUL
    (b"ONLY\0", {}),
    (b"K=\xff\0", {"K": os.fsdecode(b"\xff")}),
    (b"K=a\0\0L=b\0", {"K": "a", "L": "b"}),
])
def test_environ_entries(control, children, entries, expected):
    child = children.start()
    control.answer(f"kvm_getenvv.{child.pid}", entries)
    assert m.proc_environ(child.pid) == expected


def test_environ_with_a_name_that_is_not_utf8(control, children):
    child = children.start()
    control.answer(f"kvm_getenvv.{child.pid}", b"GOOD=1\0\xff=2\0")
    with pytest.raises(UnicodeDecodeError):
        m.proc_environ(child.pid)


@pytest.mark.parametrize("flags", [P_SYSTEM | P_INMEM, 0, P_SYSTEM, 0x80])
def test_environ_of_kernel_and_swapped_out_processes_is_not_read(control, flags):
    control.answer(f"kern.proc.pid.{FAKE_PID}", kinfo_proc(ki_pid=FAKE_PID, ki_flag=flags))
    control.fail(f"kvm_getenvv.{FAKE_PID}", errno.EIO)  # would raise, were it called
    assert m.proc_environ(FAKE_PID) == {}


@pytest.mark.parametrize("flags", [P_INMEM, P_INMEM | 0x80 | 0x800])
def test_environ_of_a_resident_user_process_is_read(control, flags):
    control.answer(f"kern.proc.pid.{FAKE_PID}", kinfo_proc(ki_pid=FAKE_PID, ki_flag=flags))
    control.answer(f"kvm_getenvv.{FAKE_PID}", b"A=1\0")
    assert m.proc_environ(FAKE_PID) == {"A": "1"}


@pytest.mark.parametrize("err, uid, exc, number, message", [
    (errno.EPERM, 0, PermissionError, errno.EACCES,
     "force permission denied (originated from kvm_getenvv -> EPERM)"),
    (errno.ESRCH, 0, ProcessLookupError, errno.ESRCH,
     "force no such process (originated from kvm_getenvv -> ESRCH)"),
    (errno.ENOMEM, 1234, PermissionError, errno.EACCES,
     f"force permission denied (originated from kvm_getenvv(pid={FAKE_PID}, ki_uid=1234) -> ENOMEM)"),
    (errno.ENOMEM, 4294967294, PermissionError, errno.EACCES,
     f"force permission denied (originated from kvm_getenvv(pid={FAKE_PID}, ki_uid=-2) -> ENOMEM)"),
    (errno.EIO, 0, OSError, errno.EIO,
     f"{os.strerror(errno.EIO)} (originated from kvm_getenvv(pid={FAKE_PID}))"),
    (errno.EINVAL, 0, OSError, errno.EINVAL,
     f"{os.strerror(errno.EINVAL)} (originated from kvm_getenvv(pid={FAKE_PID}))"),
])
def test_environ_when_the_library_refuses(control, err, uid, exc, number, message):
    control.answer(f"kern.proc.pid.{FAKE_PID}", kinfo_proc(ki_pid=FAKE_PID, ki_flag=P_INMEM, ki_uid=uid))
    control.fail(f"kvm_getenvv.{FAKE_PID}", err)
    with pytest.raises(exc) as info:
        m.proc_environ(FAKE_PID)
    check_oserror(info, number, message)


def test_environ_when_the_library_finds_nothing(control):
    control.answer(f"kern.proc.pid.{FAKE_PID}", kinfo_proc(ki_pid=FAKE_PID, ki_flag=P_INMEM))
    control.fail(f"kvm_getenvv.{FAKE_PID}", 0)
    assert m.proc_environ(FAKE_PID) == {}


def test_environ_of_another_users_process_is_refused():
    try:
        read_bytes("/proc/1/environ")
    except PermissionError:
        pass
    else:
        pytest.skip("pid 1's environment is readable here")
    with pytest.raises(PermissionError) as info:
        m.proc_environ(1)
    check_oserror(info, errno.EACCES, "force permission denied (originated from kvm_getenvv -> EPERM)")


@pytest.mark.parametrize("pid", [-1, 2**31 - 1, -2**31, "gone"])
def test_environ_of_a_process_that_is_not_there(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError) as info:
        m.proc_environ(pid)
    check_oserror(info, errno.ESRCH, "force no such process (originated from kvm_getprocs)")


@pytest.mark.parametrize("answer", [b"", b"x" * 500])
def test_environ_when_the_process_table_has_no_record(control, answer):
    control.answer(f"kern.proc.pid.{FAKE_PID}", answer)
    with pytest.raises(ProcessLookupError) as info:
        m.proc_environ(FAKE_PID)
    # No whole record: the library answers a valid array with a count of 0.
    check_oserror(info, errno.ESRCH, "force no such process (originated from kvm_getprocs: cnt==0)")


def test_environ_when_the_process_table_fails(control, children):
    child = children.start()
    control.fail(f"kern.proc.pid.{child.pid}", errno.EIO)
    with pytest.raises(ProcessLookupError) as info:
        m.proc_environ(child.pid)
    check_oserror(info, errno.ESRCH, "force no such process (originated from kvm_getprocs)")


@pytest.mark.parametrize("offset", [2**32, -2**32, 2**33, 5 * 2**32])
def test_environ_never_narrows_a_wide_pid_to_another_process(children, offset):
    child = children.start(env={"MARK": "1"})
    assert m.proc_environ(child.pid) == {"MARK": "1"}
    with pytest.raises(OverflowError):
        m.proc_environ(child.pid + offset)


@pytest.mark.parametrize("pid", [2**31, -2**31 - 1, 2**63, -2**63 - 1])
def test_environ_refuses_pids_outside_32_bits(pid):
    with pytest.raises(OverflowError):
        m.proc_environ(pid)


LONG = "x" * 600


@pytest.mark.parametrize("text, exc, message", [
    ("kvm_openfiles: /dev/mem: Permission denied", PermissionError,
     "force permission denied (originated from (originated from kvm_openfiles: "
     "kvm_openfiles: /dev/mem: Permission denied))"),
    ("kvm_open: Operation not permitted", PermissionError,
     "force permission denied (originated from (originated from kvm_openfiles: kvm_open: Operation not permitted))"),
    ("kvm_openfiles: cannot open /dev/null", RuntimeError,
     "(originated from kvm_openfiles: kvm_openfiles: cannot open /dev/null)"),
    ("", RuntimeError, "(originated from kvm_openfiles: )"),
    (LONG, RuntimeError, ("(originated from kvm_openfiles: " + LONG)[:511]),
    (LONG + " Permission denied", PermissionError,
     ("force permission denied (originated from " + ("(originated from kvm_openfiles: " + LONG)[:511])[:511]),
])
def test_environ_when_the_library_cannot_be_opened(control, children, text, exc, message):
    child = children.start()
    control.answer("kvm_openfiles", text.encode())
    with pytest.raises(exc) as info:
        m.proc_environ(child.pid)
    if exc is RuntimeError:
        assert str(info.value) == message
    else:
        check_oserror(info, errno.EACCES, message)


@pytest.mark.parametrize("err, exc", [(errno.EACCES, PermissionError), (errno.EPERM, PermissionError),
                                      (errno.ENOENT, RuntimeError), (errno.ENOMEM, RuntimeError)])
def test_environ_when_opening_the_library_fails_with_an_errno(control, children, err, exc):
    child = children.start()
    control.fail("kvm_openfiles", err)
    composed = f"(originated from kvm_openfiles: kvm_openfiles: {os.strerror(err)})"
    with pytest.raises(exc) as info:
        m.proc_environ(child.pid)
    if exc is RuntimeError:
        assert str(info.value) == composed
    else:
        check_oserror(info, errno.EACCES, f"force permission denied (originated from {composed})")


# --- proc_exe ---

def test_exe_of_the_caller_and_of_a_child(children):
    assert m.proc_exe(os.getpid()) == os.readlink("/proc/self/exe")
    child = children.start()
    assert m.proc_exe(child.pid) == os.readlink(f"/proc/{child.pid}/exe")


def test_exe_with_an_odd_path_and_after_deletion(tmp_path):
    folder = tmp_path / "with spaces"
    folder.mkdir()
    exe = os.path.join(os.fsencode(folder), b"sleep \xff copy")
    shutil.copy2("/bin/sleep", exe)
    proc = subprocess.Popen([exe, "600"], stdin=subprocess.DEVNULL)
    try:
        assert m.proc_exe(proc.pid) == os.fsdecode(exe) == os.readlink(f"/proc/{proc.pid}/exe")
        os.unlink(exe)
        assert os.readlink(f"/proc/{proc.pid}/exe").endswith(" (deleted)")
        assert m.proc_exe(proc.pid) == ""
    finally:
        proc.kill()
        proc.wait()


def test_exe_of_processes_without_an_executable(children):
    zombie = children.zombie()
    with pytest.raises(FileNotFoundError):
        os.readlink(f"/proc/{zombie.pid}/exe")
    assert m.proc_exe(zombie.pid) == ""
    assert m.proc_exe(kernel_thread_pid()) == ""


@pytest.mark.parametrize("pid", ["gone", -5])
def test_exe_of_missing_and_negative_pids(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError):
        m.proc_exe(pid)


def test_exe_of_pid_minus_one_is_the_callers():
    # The kernel takes -1 for the calling process here.
    assert m.proc_exe(-1) == os.readlink("/proc/self/exe")


@pytest.mark.parametrize("err, exc", [(errno.EACCES, PermissionError), (errno.EPERM, PermissionError),
                                      (errno.EIO, OSError), (errno.ESRCH, ProcessLookupError)])
def test_exe_when_the_query_fails(control, children, err, exc):
    child = children.start()
    control.fail(f"kern.proc.pathname.{child.pid}", err)
    with pytest.raises(exc) as info:
        m.proc_exe(child.pid)
    check_oserror(info, err, f"{os.strerror(err)} (originated from sysctl(KERN_PROC_PATHNAME))")


def test_exe_the_kernel_cannot_name_is_empty(control, children):
    child = children.start()
    control.fail(f"kern.proc.pathname.{child.pid}", errno.ENOENT)
    assert m.proc_exe(child.pid) == ""


@pytest.mark.parametrize("reply", [b"", b"\0", b"\0/bin/sh\0"])
def test_exe_empty_reply_for_a_live_process(control, children, reply):
    child = children.start()
    control.answer(f"kern.proc.pathname.{child.pid}", reply)
    assert m.proc_exe(child.pid) == ""


@pytest.mark.parametrize("pid", ["gone", 0, -5])
@pytest.mark.parametrize("reply", [b"", b"\0"])
def test_exe_empty_reply_for_a_process_that_is_not_there(control, children, pid, reply):
    pid = children.gone_pid() if pid == "gone" else pid
    control.answer(f"kern.proc.pathname.{pid}", reply)
    with pytest.raises(ProcessLookupError) as info:
        m.proc_exe(pid)
    check_oserror(info, errno.ESRCH, "force no such process (originated from lumvik_pid_exists -> 0)")


@pytest.mark.parametrize("reply, expected", [
    (b"/usr/local/bin/odd name\0", "/usr/local/bin/odd name"),
    (b"/tmp/\xff\0garbage", os.fsdecode(b"/tmp/\xff")),
    (b"/" + b"a" * 1023, "/" + "a" * 1023),  # a full buffer without its NUL: all of it, nothing beyond
])
def test_exe_decodes_the_kernel_reply(control, reply, expected):
    control.answer(f"kern.proc.pathname.{FAKE_PID}", reply)
    assert m.proc_exe(FAKE_PID) == expected


def test_exe_of_a_reply_longer_than_a_path(control):
    control.answer(f"kern.proc.pathname.{FAKE_PID}", b"/" * 1025)
    with pytest.raises(OSError) as info:
        m.proc_exe(FAKE_PID)
    check_oserror(info, errno.ENOMEM, f"{os.strerror(errno.ENOMEM)} (originated from sysctl(KERN_PROC_PATHNAME))")


# --- arguments ---

@pytest.mark.parametrize("fn", [m.proc_cmdline, m.proc_environ, m.proc_exe])
@pytest.mark.parametrize("args, exc", [(("1",), TypeError), ((), TypeError), ((1, 2), TypeError),
                                       ((2**64,), OverflowError)])
def test_arguments_that_do_not_parse(fn, args, exc):
    with pytest.raises(exc):
        fn(*args)


@pytest.mark.parametrize("fn", [m.proc_cmdline, m.proc_exe])
def test_pids_beyond_32_bits(fn):
    with pytest.raises(OverflowError):
        fn(2**31)
