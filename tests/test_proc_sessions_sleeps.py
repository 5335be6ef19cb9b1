"""Fields of the raw process records that the module's functions do not read, against what
Linux says of processes the test starts: the session flags and the terminal's foreground group
(ki_kiflag, ki_tpgid), the kind of sleep a thread is in (ki_tdflags, which ps(1) prints as
S or D), and a zombie's exit status (ki_xstat)."""
import ctypes
import os

import pytest

from children import thread_states, wait_for
from conftest import LIB
from records import KINFO_PROC_SIZE, kinfo_proc_field
from truth import read_text

pytestmark = pytest.mark.usefixtures("control")  # the personality's records

KI_CTTY, KI_SLEADER = 0x1, 0x2
TDF_INMEM, TDF_SINTR = 0x4, 0x8
SRUN, SSLEEP = 2, 3
CTL_KERN, KERN_PROC, KERN_PROC_PID, KERN_PROC_INC_THREAD = 1, 14, 1, 0x10
NO_PID = 100000

LIB.lumvik_kinfo_proc.restype, LIB.lumvik_kinfo_proc.argtypes = ctypes.c_int, [ctypes.c_int, ctypes.c_void_p]
libc = ctypes.CDLL(None)
libc.free.argtypes, libc.free.restype = [ctypes.c_void_p], None


def record(pid):
    buf = ctypes.create_string_buffer(KINFO_PROC_SIZE)
    assert LIB.lumvik_kinfo_proc(pid, buf) == 0
    return buf.raw


def thread_records(pid):
    """kern.proc.pid_td: one record per thread, by thread id."""
    mib = (ctypes.c_int * 4)(CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD, pid)
    out, length = ctypes.c_void_p(), ctypes.c_size_t()
    assert LIB.lumvik_sysctl_malloc(mib, 4, ctypes.byref(out), ctypes.byref(length)) == 0
    try:
        raw = ctypes.string_at(out, length.value)
    finally:
        libc.free(out)
    records = [raw[at:at + KINFO_PROC_SIZE] for at in range(0, len(raw), KINFO_PROC_SIZE)]
    return {kinfo_proc_field(r, "ki_tid"): r for r in records}


def stat_of(pid):
    """pid, state, session, tty_nr and tpgid of /proc/PID/stat."""
    fields = read_text(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()
    return {"state": fields[0], "session": int(fields[3]), "tty_nr": int(fields[4]), "tpgid": int(fields[5])}


@pytest.fixture
def held_fds():
    """Descriptors the test keeps open until its end."""
    fds = []
    yield fds
    for fd in fds:
        os.close(fd)


def on_terminal(children, held_fds):
    """A session leader whose controlling terminal is a pseudo-terminal it acquired."""
    master, slave = os.openpty()
    held_fds.append(master)  # the terminal lives as long as the test
    code = ("import fcntl, os, sys, termios, time; os.setsid(); "
            f"fcntl.ioctl({slave}, termios.TIOCSCTTY, 0); "
            "sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)")
    try:
        return children.start(code, pass_fds=(slave,))
    finally:
        os.close(slave)


def exited_leader(children, held_fds):
    """A session leader that has exited and is not reaped yet."""
    proc = children.start("import os; os.setsid()")
    wait_for(lambda: stat_of(proc.pid)["state"], lambda state: state == "Z", f"{proc.pid} a zombie")
    return proc


@pytest.mark.parametrize("start, kiflag, terminal", [
    (lambda c, _: c.start(), None, None),  # the test's own session: as the truth says
    (lambda c, _: c.start(start_new_session=True), KI_SLEADER, False),
    (on_terminal, KI_CTTY | KI_SLEADER, True),
    (exited_leader, 0, False),  # FreeBSD forgets the leader of a session once it exits
], ids=["member", "leader", "leader-on-terminal", "exited-leader"])
def test_session_flags_and_foreground_group(children, held_fds, start, kiflag, terminal):
    proc = start(children, held_fds)
    truth = stat_of(proc.pid)
    has_terminal = truth["tty_nr"] != 0
    if terminal is not None:
        assert has_terminal == terminal
    if kiflag is None:
        kiflag = (KI_CTTY if has_terminal else 0) | (KI_SLEADER if truth["session"] == proc.pid else 0)
    kp = record(proc.pid)
    assert kinfo_proc_field(kp, "ki_kiflag") == kiflag
    assert kinfo_proc_field(kp, "ki_sid") == truth["session"]
    expected_tpgid = 0 if not has_terminal else (truth["tpgid"] if truth["tpgid"] >= 0 else NO_PID)
    assert kinfo_proc_field(kp, "ki_tpgid") == expected_tpgid
    if terminal:
        assert expected_tpgid == proc.pid  # the leader's group took the terminal's foreground


SPINNER_AND_SLEEPER = """
import sys, threading, time
def spin():
    while True:
        pass
threading.Thread(target=spin, daemon=True).start()
sys.stdout.write('spinning\\n'); sys.stdout.flush()
time.sleep(600)
"""


def test_each_thread_tells_its_own_sleep(children):
    proc = children.start(SPINNER_AND_SLEEPER)
    assert proc.stdout.readline() == b"spinning\n"
    states = wait_for(lambda: thread_states(proc.pid), lambda s: sorted(s.values()) == ["R", "S"],
                      "one thread spinning, the main one asleep")
    records = thread_records(proc.pid)
    assert set(records) == set(states)
    for tid, state in states.items():
        expected = (SSLEEP, TDF_INMEM | TDF_SINTR) if state == "S" else (SRUN, TDF_INMEM)
        assert (kinfo_proc_field(records[tid], "ki_stat"), kinfo_proc_field(records[tid], "ki_tdflags")) == expected
    # The process's own record is its first thread's: the main one, in an interruptible sleep.
    assert states[proc.pid] == "S"
    assert kinfo_proc_field(record(proc.pid), "ki_tdflags") == TDF_INMEM | TDF_SINTR
    assert kinfo_proc_field(record(proc.pid), "ki_sflag") == 1  # PS_INMEM


@pytest.mark.parametrize("code", ["import sys; sys.exit(3)", "import os, signal; os.kill(os.getpid(), signal.SIGTERM)"],
                         ids=["exit-status", "killed"])
def test_zombie_exit_status_as_wait_status(children, code):
    proc = children.start(code)
    wait_for(lambda: stat_of(proc.pid)["state"], lambda state: state == "Z", f"{proc.pid} a zombie")
    exit_code = int(read_text(f"/proc/{proc.pid}/stat").rsplit(")", 1)[1].split()[49])  # field 52
    assert exit_code != 0
    assert kinfo_proc_field(record(proc.pid), "ki_xstat") == exit_code
