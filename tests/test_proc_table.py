"""The process table, liveness, zombies and the failure classifier; the summary record."""
import ctypes
import errno
import os
import struct
import sys

import pytest

import _lumvik_bsd as m
from children import linux_state, wait_for
from conftest import LIB
from records import KINFO_PROC_SIZE, kinfo_proc
from truth import read_lines, read_text

LIB.lumvik_pid_exists.restype, LIB.lumvik_pid_exists.argtypes = ctypes.c_int, [ctypes.c_int]
LIB.lumvik_raise_for_pid.restype = ctypes.py_object
LIB.lumvik_raise_for_pid.argtypes = [ctypes.c_int, ctypes.c_char_p]
LIB.lumvik_kinfo_proc.restype, LIB.lumvik_kinfo_proc.argtypes = ctypes.c_int, [ctypes.c_int, ctypes.c_void_p]
LIB.is_zombie.restype, LIB.is_zombie.argtypes = ctypes.c_int, [ctypes.c_int]

CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGESIZE")


def stat_fields(pid):
    """/proc/PID/stat fields, numbered from 1 as in proc(5)."""
    head, tail = read_text(f"/proc/{pid}/stat").rsplit(")", 1)
    return [None, head.split(" (", 1)[0], head.split(" (", 1)[1]] + tail.split()


def boot_time():
    return next(int(line.split()[1]) for line in read_lines("/proc/stat") if line.startswith("btime"))


# --- the table ---

def host_pids():
    return {int(name) for name in os.listdir("/proc") if name.isdigit()}


def test_pids_lists_the_live_processes(children):
    child = children.start()
    # Other processes come and go meanwhile: those there before and after the call are listed,
    # and the others listed had come and gone by the end.
    before, listed, after = host_pids(), set(m.pids(1, 2)), host_pids()  # extra arguments are ignored
    assert {os.getpid(), child.pid} | (before & after) <= listed
    assert not (listed - before - after) & host_pids()
    assert all(pid > 0 for pid in listed)


@pytest.mark.parametrize("records, extra, expected", [(2, 500, 2), (3, 0, 3), (1, 1087, 1)])
def test_pids_counts_whole_records_only(control, records, extra, expected):
    control.answer("kern.proc.proc", b"".join(kinfo_proc(ki_pid=100 + i) for i in range(records)) + bytes(extra))
    assert m.pids() == [100 + i for i in range(expected)]


@pytest.mark.parametrize("answer", [b"", bytes(500)])
def test_pids_of_an_empty_table(control, answer):
    control.answer("kern.proc.proc", answer)
    with pytest.raises(RuntimeError, match="^no PIDs found$"):
        m.pids()


def test_pids_passes_kernel_failures_on(control):
    control.fail("kern.proc.proc", errno.EPERM)
    with pytest.raises(PermissionError, match=r"\(originated from sysctl\(\) malloc 1/3\)"):
        m.pids()
    control.clear()
    control.grow("kern.proc.proc", 10)
    with pytest.raises(RuntimeError, match="^sysctl\\(\\) buffer allocation retry limit exceeded$"):
        m.pids()


# --- liveness and zombies ---

def test_pid_exists(children):
    assert [LIB.lumvik_pid_exists(p) for p in (0, -5)] == [0, 0]
    assert LIB.lumvik_pid_exists(os.getpid()) == 1
    assert LIB.lumvik_pid_exists(children.gone_pid()) == 0
    assert LIB.lumvik_pid_exists(children.zombie().pid) == 1


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to drop to another user")
def test_pid_exists_for_another_users_process():
    child = os.fork()
    if child == 0:  # as nobody, pid 1 belongs to someone else: kill answers EPERM
        os.setresuid(65534, 65534, 65534)
        os._exit(LIB.lumvik_pid_exists(1))
    _, status = os.waitpid(child, 0)
    assert os.waitstatus_to_exitcode(status) == 1


def test_proc_is_zombie(children):
    assert m.proc_is_zombie(children.zombie().pid) is True
    assert m.proc_is_zombie(children.start().pid) is False
    assert m.proc_is_zombie(os.getpid()) is False
    assert m.proc_is_zombie(-1) is False
    assert m.proc_is_zombie(children.gone_pid()) is False
    with pytest.raises(OverflowError):
        m.proc_is_zombie(2**31)


def test_kinfo_proc_refuses_a_negative_pid_before_asking(control):
    control.fail("kern.proc.pid", errno.EIO)  # would show if the kernel were asked
    record = ctypes.create_string_buffer(KINFO_PROC_SIZE)
    with pytest.raises(RuntimeError, match=r"^lumvik_kinfo_proc\(\) invalid args passed to function$"):
        LIB.lumvik_kinfo_proc(-1, record)
    with pytest.raises(OSError, match=r"originated from sysctl\(kinfo_proc\)\)$") as info:
        LIB.lumvik_kinfo_proc(0, record)  # pid 0 is asked like any other
    assert info.value.errno == errno.EIO


def test_kinfo_proc_of_an_empty_answer(control):
    control.answer("kern.proc.pid.4242", b"")
    with pytest.raises(ProcessLookupError, match=r"force no such process \(originated from sysctl\(kinfo_proc\), size = 0\)$"):
        m.proc_name(4242)


class TestRaiseForPid:
    def raise_for(self, pid, err):
        ctypes.set_errno(err)
        return LIB.lumvik_raise_for_pid(pid, b"kinfo_getfile()")

    def test_an_errno_names_the_call(self):
        with pytest.raises(PermissionError) as info:
            self.raise_for(os.getpid(), errno.EACCES)
        assert info.value.errno == errno.EACCES
        assert info.value.strerror == f"{os.strerror(errno.EACCES)} (originated from kinfo_getfile())"

    def test_a_process_that_is_gone(self, children):
        for pid in (children.gone_pid(), 0):
            with pytest.raises(ProcessLookupError) as info:
                self.raise_for(pid, 0)
            assert info.value.errno == errno.ESRCH
            assert info.value.strerror == "force no such process (originated from kinfo_getfile())"

    def test_a_zombie(self, children):
        with pytest.raises(m.ZombieProcessError) as info:
            self.raise_for(children.zombie().pid, 0)
        assert str(info.value) == ""

    def test_a_live_process(self):
        with pytest.raises(RuntimeError, match=r"^kinfo_getfile\(\) syscall failed$"):
            self.raise_for(os.getpid(), 0)


# --- the summary record ---

def test_oneshot_of_a_sleeping_child_matches_linux(children):
    child = children.start()
    info = m.proc_oneshot_info(child.pid)
    st = stat_fields(child.pid)
    uids = os.getresuid()
    gids = os.getresgid()
    assert len(info) == 25
    assert info[0] == os.getpid()
    assert info[1] == m.SSLEEP
    assert info[2:5] == (uids[0], uids[1], uids[2])
    assert info[5:8] == (gids[0], gids[1], gids[2])
    assert info[8] == (-1 if int(st[7]) == 0 else info[8])
    assert info[9] == pytest.approx(boot_time() + int(st[22]) / CLK_TCK, abs=1e-6)
    assert all(isinstance(v, int) and v >= 0 for v in info[10:14])
    assert info[14] == pytest.approx(int(st[14]) / CLK_TCK, abs=1e-9)
    assert info[15] == pytest.approx(int(st[15]) / CLK_TCK, abs=1e-9)
    assert (info[16], info[17]) == (0.0, 0.0)  # no reaped children
    assert info[18] == int(st[24]) * PAGE
    assert info[19] == int(st[23])
    assert info[23] == int(st[39])  # not running: the CPU it last ran on
    assert info[24] == "python3.13t"[:15] or info[24] == read_text(f"/proc/{child.pid}/comm").strip()


def test_oneshot_of_the_caller(children):
    info = m.proc_oneshot_info(os.getpid())
    assert info[1] == m.SRUN
    assert info[0] == os.getppid()
    assert info[24] == read_text("/proc/self/comm").strip()
    times = os.times()
    assert info[14] <= times.user + 0.02 and info[15] <= times.system + 0.02


def test_oneshot_counts_reaped_childrens_times(children):
    code = "import os,sys\nif os.fork()==0:\n    t=os.times()\n    while os.times().user-t.user<0.05: pass\n    os._exit(0)\nos.wait(); sys.stdout.write('ready\\n'); sys.stdout.flush(); import time; time.sleep(600)"
    child = children.start(code)
    assert m.proc_oneshot_info(child.pid)[16] >= 0.04


def test_oneshot_of_stopped_and_zombie_processes(children):
    assert m.proc_oneshot_info(children.stopped().pid)[1] == m.SSTOP
    zombie = m.proc_oneshot_info(children.zombie().pid)
    assert zombie[1] == m.SZOMB and zombie[0] == os.getpid()


def test_name_and_thread_count(children):
    code = ("import sys, threading, time\n"
            "for _ in range(3): threading.Thread(target=time.sleep, args=(600,), daemon=True).start()\n"
            "sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)")
    child = children.start(code)
    assert m.proc_num_threads(child.pid) == 4 == len(os.listdir(f"/proc/{child.pid}/task"))
    assert m.proc_name(child.pid) == read_text(f"/proc/{child.pid}/comm").strip()


@pytest.mark.parametrize("fn", [m.proc_oneshot_info, m.proc_name, m.proc_num_threads])
def test_summary_functions_of_missing_and_negative_pids(children, fn):
    with pytest.raises(ProcessLookupError) as info:
        fn(children.gone_pid())
    assert info.value.strerror == f"{os.strerror(errno.ESRCH)} (originated from sysctl(kinfo_proc))"
    with pytest.raises(RuntimeError, match="invalid args"):
        fn(-1)
    with pytest.raises(OverflowError):
        fn(2**31)
    with pytest.raises(TypeError):
        fn("1")


class TestSummaryConversions:
    """Records the host cannot produce on demand."""

    PID = 424242

    def oneshot(self, control, **fields):
        control.answer(f"kern.proc.pid.{self.PID}", kinfo_proc(ki_pid=self.PID, **fields))
        return m.proc_oneshot_info(self.PID)

    @pytest.mark.parametrize("stat, oncpu, lastcpu, expected", [
        (m.SRUN, -1, 3, 3),     # runnable, not on a CPU: the last one
        (m.SSLEEP, 5, 7, 7),    # not running: the last one, whatever ki_oncpu holds
        (m.SRUN, 5, 7, 5),      # running: the one it runs on
        (m.SRUN, 200, 1, 200),  # not narrowed to 8 bits
        (m.SSLEEP, 0, 200, 200),
    ])
    def test_cpu_number(self, control, stat, oncpu, lastcpu, expected):
        assert self.oneshot(control, ki_stat=stat, ki_oncpu=oncpu, ki_lastcpu=lastcpu)[23] == expected

    def test_ids_are_unsigned(self, control):
        info = self.oneshot(control, ki_ruid=4294967294, ki_uid=4294967295, ki_svuid=7,
                            ki_rgid=4294967294, ki_groups0=8, ki_svgid=9)
        assert info[2:8] == (4294967294, 4294967295, 7, 4294967294, 8, 9)

    def test_times_and_sizes(self, control):
        info = self.oneshot(control, ki_start=(1700000000, 500000), ki_rssize=10, ki_tsize=1, ki_dsize=2,
                            ki_ssize=3, ki_size=123457, ru_utime=(1, 250000), ru_stime=(2, 0),
                            ch_utime=(3, 1), ch_stime=(0, 999999), ki_tdev=0xFFFFFFFFFFFFFFFF,
                            ru_nvcsw=11, ru_nivcsw=12, ru_inblock=13, ru_oublock=14)
        assert info[9] == 1700000000.5
        assert info[8] == -1
        assert info[10:14] == (11, 12, 13, 14)
        assert info[14:18] == (1.25, 2.0, 3.000001, 0.999999)
        assert info[18] == 10 * PAGE and info[20:23] == (PAGE, 2 * PAGE, 3 * PAGE)
        assert info[19] == 123457
        assert self.oneshot(control)[9] == 0.0

    def test_name_of_twenty_bytes_without_terminator(self, control):
        assert self.oneshot(control, ki_comm=b"x" * 20)[24] == "x" * 20
        assert m.proc_name(self.PID) == "x" * 20


def test_a_process_whose_main_thread_exited_first_is_alive(children):
    # Linux then shows the process as a zombie; FreeBSD would show a live one.
    code = ("import ctypes, sys, threading, time\n"
            "threading.Thread(target=time.sleep, args=(600,)).start()\n"
            "sys.stdout.write('ready\\n'); sys.stdout.flush()\n"
            "ctypes.CDLL(None).pthread_exit(None)")
    child = children.start(code)
    wait_for(lambda: linux_state(child.pid), lambda state: state == "Z", f"the main thread of {child.pid} exited")
    assert m.proc_is_zombie(child.pid) is False
    info = m.proc_oneshot_info(child.pid)
    assert info[1] == m.SSLEEP
    assert info[18] > 0 and info[19] > 0  # its memory, which Linux no longer shows on the exited thread
    assert [tid for tid, _, _ in m.proc_threads(child.pid)] == [int(t) for t in os.listdir(f"/proc/{child.pid}/task")
                                                               if int(t) != child.pid]
    # What Linux hides behind the exited thread is read through a running one.
    assert m.proc_cmdline(child.pid)[1] == "-c"
    assert m.proc_exe(child.pid) == os.path.realpath(sys.executable)
    assert m.proc_cwd(child.pid) == os.getcwd()
    assert m.proc_environ(child.pid)["PATH"] == os.environ["PATH"]
    assert m.proc_num_fds(child.pid) > 3
    assert len(m.proc_memory_maps(child.pid)) > 10


def test_a_thread_id_is_no_process(children):
    code = ("import sys, threading, time\n"
            "threading.Thread(target=time.sleep, args=(600,), daemon=True).start()\n"
            "sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)")
    child = children.start(code)
    tid = next(int(t) for t in os.listdir(f"/proc/{child.pid}/task") if int(t) != child.pid)
    assert LIB.lumvik_pid_exists(tid) == 0
    assert tid not in m.pids()
    with pytest.raises(ProcessLookupError):
        m.proc_oneshot_info(tid)
