"""The scheduling side of a process: its threads and their times, its CPU affinity, its resource
limits and its nice value, compared with what Linux reports, and changed on children only."""
import errno
import os
import resource
import struct

import pytest

import _lumvik_bsd as m
from records import KINFO_PROC_SIZE, kinfo_proc
from truth import read_text

CLK_TCK = os.sysconf("SC_CLK_TCK")
CPUS = sorted(os.sched_getaffinity(0))
FAKE_PID = 424242  # answered through the control interface only
IS_ROOT = os.geteuid() == 0
needs_root = pytest.mark.skipif(not IS_ROOT, reason="needs root")


def tids(pid):
    return {int(t) for t in os.listdir(f"/proc/{pid}/task")}


def task_times(pid, tid):
    """User and system time of one thread, in seconds, from /proc/PID/task/TID/stat."""
    fields = read_text(f"/proc/{pid}/task/{tid}/stat").rsplit(")", 1)[1].split()
    return int(fields[11]) / CLK_TCK, int(fields[12]) / CLK_TCK  # fields 14 and 15


def threaded(extra, cpus=None, burn=False):
    """Code of a child with `extra` sleeping threads, bound to `cpus` before they start; with
    `burn`, the first of them spends some CPU time before it sleeps."""
    bind = f"os.sched_setaffinity(0, {set(cpus)!r})\n" if cpus is not None else ""
    return (
        "import os, sys, threading, time\n" + bind +
        "done = threading.Event()\n"
        "def burn():\n"
        "    while time.thread_time() < 0.05: pass\n"
        "    done.set(); time.sleep(600)\n"
        "def rest():\n"
        "    done.set(); time.sleep(600)\n"
        f"for i in range({extra}):\n"
        f"    threading.Thread(target=burn if i == 0 and {burn} else rest, daemon=True).start()\n"
        f"if {extra}: done.wait()\n"
        "sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)\n"
    )


# --- proc_threads ---

def test_threads_of_a_single_threaded_child(children):
    child = children.start(threaded(0))
    assert tids(child.pid) == {child.pid}  # Linux: the main thread's id is the pid
    threads = m.proc_threads(child.pid)
    assert len(threads) == 1
    tid, user, system = threads[0]
    assert tid == child.pid
    assert (user, system) == pytest.approx(task_times(child.pid, tid), abs=1e-6)


def test_threads_of_a_child_with_three_more(children):
    child = children.start(threaded(3, burn=True))
    threads = m.proc_threads(child.pid)
    assert len(threads) == 4
    assert {t[0] for t in threads} == tids(child.pid)
    for tid, user, system in threads:
        assert isinstance(user, float) and isinstance(system, float)
        assert user >= 0 and system >= 0
        assert (user, system) == pytest.approx(task_times(child.pid, tid), abs=1e-6)
    assert max(user + system for _, user, system in threads) > 0  # the burning one shows


def test_threads_of_the_caller():
    threads = m.proc_threads(os.getpid())
    assert [t[0] for t in threads if t[0] == os.getpid()] == [os.getpid()]
    assert {t[0] for t in threads} == tids(os.getpid())
    assert all(isinstance(u, float) and isinstance(s, float) and u >= 0 and s >= 0 for _, u, s in threads)


def test_threads_of_records_the_host_cannot_show(control):
    first = kinfo_proc(ki_pid=FAKE_PID, ki_tid=100001, ru_utime=(1, 500000), ru_stime=(2, 250000))
    second = kinfo_proc(ki_pid=FAKE_PID, ki_tid=-2, ru_utime=(0, 1), ru_stime=(3, 999999))
    reply = first + second + bytes(24)
    assert len(reply) == 2200
    control.answer(f"kern.proc.pid_td.{FAKE_PID}", reply)
    assert m.proc_threads(FAKE_PID) == [(100001, 1.5, 2.25), (4294967294, 0.000001, 3.999999)]


@pytest.mark.parametrize("size, count", [(1000, 0), (1, 0), (KINFO_PROC_SIZE, 1), (2 * KINFO_PROC_SIZE - 1, 1),
                                         (3 * KINFO_PROC_SIZE, 3)])
def test_threads_count_whole_records_only(control, size, count):
    control.answer(f"kern.proc.pid_td.{FAKE_PID}", bytes(size))
    assert m.proc_threads(FAKE_PID) == [(0, 0.0, 0.0)] * count


def test_threads_of_an_empty_reply(control, children):
    child = children.start()
    control.answer(f"kern.proc.pid_td.{child.pid}", b"")
    with pytest.raises(ProcessLookupError) as info:
        m.proc_threads(child.pid)
    assert info.value.errno == errno.ESRCH
    assert info.value.strerror == "force no such process (originated from sysctl (size = 0))"


@pytest.mark.parametrize("pid", ["gone", -1])
def test_threads_of_missing_and_negative_pids(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError) as info:
        m.proc_threads(pid)
    assert info.value.strerror == f"{os.strerror(errno.ESRCH)} (originated from sysctl() malloc 1/3)"


def test_threads_when_the_fetch_is_refused(control, children):
    child = children.start()
    control.fail_fetch(f"kern.proc.pid_td.{child.pid}", errno.EPERM)
    with pytest.raises(PermissionError) as info:
        m.proc_threads(child.pid)
    assert info.value.strerror == f"{os.strerror(errno.EPERM)} (originated from sysctl() malloc 3/3)"


# --- CPU affinity ---

def needs_cpus(*cpus):
    missing = set(cpus) - set(CPUS)
    return pytest.mark.skipif(bool(missing), reason=f"needs CPUs {sorted(missing)}")


def affinities(pid):
    """The CPU set of every thread of pid."""
    return {tid: os.sched_getaffinity(tid) for tid in tids(pid)}


@pytest.mark.parametrize("bound", [
    pytest.param([0], marks=needs_cpus(0)),
    pytest.param([1], marks=needs_cpus(1)),
    pytest.param([0, 1], marks=needs_cpus(0, 1)),
    None,
])
def test_affinity_get(children, bound):
    child = children.start(threaded(0, cpus=bound))
    got = m.proc_cpu_affinity_get(child.pid)
    assert got == sorted(os.sched_getaffinity(child.pid))
    assert got == (bound if bound is not None else CPUS)


def test_affinity_get_of_the_caller():
    assert m.proc_cpu_affinity_get(os.getpid()) == CPUS


@pytest.mark.parametrize("cpus, expected", [
    pytest.param([1, 1, 0], {0, 1}, marks=needs_cpus(0, 1)),
    pytest.param((1, 0), {0, 1}, marks=needs_cpus(0, 1)),
    pytest.param([1], {1}, marks=needs_cpus(1)),
    pytest.param((1,), {1}, marks=needs_cpus(1)),
    pytest.param(range(2), {0, 1}, marks=needs_cpus(0, 1)),
    pytest.param([True], {1}, marks=needs_cpus(1)),  # an int all the same
])
def test_affinity_set_binds_every_thread(children, cpus, expected):
    child = children.start(threaded(3, cpus=[0]))
    assert affinities(child.pid) == {tid: {0} for tid in tids(child.pid)} and len(tids(child.pid)) == 4
    assert m.proc_cpu_affinity_set(child.pid, cpus) is None
    assert affinities(child.pid) == {tid: expected for tid in tids(child.pid)}
    assert m.proc_cpu_affinity_get(child.pid) == sorted(expected)


@pytest.mark.parametrize("cpus, exc, match", [
    ([1, "1"], TypeError, None),
    ([1, 1.0], TypeError, None),
    ([1, None], TypeError, None),
    ([1, -1], ValueError, "-1"),
    ([1, 1024], ValueError, "1024"),
    ([1, -2], ValueError, "-2"),
    ([1, 2**40], ValueError, str(2**40)),
    ([1, 2**64], OverflowError, None),
    (5, TypeError, "^expected a sequence or integer$"),
    (None, TypeError, "^expected a sequence or integer$"),
])
def test_affinity_set_refuses_bad_cpus_and_changes_nothing(children, cpus, exc, match):
    child = children.start(threaded(1, cpus=[0]))
    before = affinities(child.pid)
    with pytest.raises(exc, match=match):
        m.proc_cpu_affinity_set(child.pid, cpus)
    assert affinities(child.pid) == before


def test_affinity_set_accepts_1023_as_a_number(children):
    # The highest CPU the set can hold: it is refused by the host for want of that CPU, not
    # by the module, and nothing is changed.
    child = children.start(threaded(0, cpus=[0]))
    with pytest.raises(OSError) as info:
        m.proc_cpu_affinity_set(child.pid, [1023])
    assert info.value.errno == errno.EINVAL
    assert os.sched_getaffinity(child.pid) == {0}


@pytest.mark.parametrize("cpus", [[], ()])
def test_affinity_set_of_no_cpu_at_all(children, cpus):
    child = children.start(threaded(0, cpus=[0]))
    with pytest.raises(OSError) as info:
        m.proc_cpu_affinity_set(child.pid, cpus)
    assert info.value.errno == errno.EDEADLK
    assert os.sched_getaffinity(child.pid) == {0}


@pytest.mark.parametrize("pid", ["gone", -2])
def test_affinity_of_missing_and_negative_pids(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError):
        m.proc_cpu_affinity_get(pid)
    with pytest.raises(ProcessLookupError):
        m.proc_cpu_affinity_set(pid, [0])


# --- resource limits ---

# Module resource (FreeBSD numbering) -> the host's, and two distinct pairs for each.
LIMITS = {
    "CPU": ("RLIMIT_CPU", (1000, 2000), (1500, 2500)),
    "FSIZE": ("RLIMIT_FSIZE", (1 << 30, 1 << 31), (1 << 29, 1 << 32)),
    "DATA": ("RLIMIT_DATA", (1 << 34, 1 << 35), (1 << 36, 1 << 37)),
    "STACK": ("RLIMIT_STACK", (8 << 20, 16 << 20), (12 << 20, 24 << 20)),
    "CORE": ("RLIMIT_CORE", (4096, 1 << 20), (0, 1 << 21)),
    "RSS": ("RLIMIT_RSS", (1 << 33, 1 << 34), (1 << 32, 1 << 35)),
    "MEMLOCK": ("RLIMIT_MEMLOCK", (1 << 16, 1 << 17), (1 << 18, 1 << 19)),
    "NPROC": ("RLIMIT_NPROC", (5000, 6000), (7000, 8000)),
    "NOFILE": ("RLIMIT_NOFILE", (100, 200), (1024, 4096)),
    "AS": ("RLIMIT_AS", (1 << 40, 1 << 41), (1 << 42, 1 << 43)),
}
UNLIMITED_ON_HOST = ["SBSIZE", "SWAP", "NPTS"]
INF = resource.RLIM_INFINITY


def raisable(pid, host, hard):
    """Skips unless the hard limit may be set to `hard`: raising it needs CAP_SYS_RESOURCE."""
    current = resource.prlimit(pid, host)[1]
    if current != INF and (hard == INF or hard > current):
        try:
            resource.prlimit(pid, host, (0, INF if hard == INF else hard))
        except PermissionError:
            pytest.skip("may not raise the hard limit here")


def freebsd(pair):
    return tuple(m.RLIM_INFINITY if v == resource.RLIM_INFINITY else v for v in pair)


@pytest.mark.parametrize("name", LIMITS)
def test_getrlimit_matches_the_host(children, name):
    child = children.start()
    host = getattr(resource, LIMITS[name][0])
    bsd = getattr(m, "RLIMIT_" + name)
    assert m.proc_getrlimit(child.pid, bsd) == freebsd(resource.prlimit(child.pid, host))
    # Every limit at once, each distinct, so that a resource read as another one shows.
    for other, (host_name, pair, _) in LIMITS.items():
        resource.prlimit(child.pid, getattr(resource, host_name), pair)
    assert m.proc_getrlimit(child.pid, bsd) == LIMITS[name][1] == resource.prlimit(child.pid, host)


@pytest.mark.parametrize("name", LIMITS)
def test_setrlimit_shows_on_the_host(children, name):
    child = children.start()
    host_name, _, pair = LIMITS[name]
    raisable(child.pid, getattr(resource, host_name), pair[1])
    before = {n: resource.prlimit(child.pid, getattr(resource, h)) for n, (h, _, _) in LIMITS.items()}
    assert m.proc_setrlimit(child.pid, getattr(m, "RLIMIT_" + name), *pair) is None
    after = {n: resource.prlimit(child.pid, getattr(resource, h)) for n, (h, _, _) in LIMITS.items()}
    assert after == {**before, name: pair}  # that one limit, and no other


def test_setrlimit_nofile(children):
    child = children.start()
    m.proc_setrlimit(child.pid, m.RLIMIT_NOFILE, 1024, 4096)
    assert resource.prlimit(child.pid, resource.RLIMIT_NOFILE) == (1024, 4096)
    assert m.proc_getrlimit(child.pid, m.RLIMIT_NOFILE) == (1024, 4096)


@pytest.mark.parametrize("pair, expected", [
    ((INF, INF), (m.RLIM_INFINITY, m.RLIM_INFINITY)),
    ((1024, INF), (1024, m.RLIM_INFINITY)),
    ((0, 0), (0, 0)),
])
def test_getrlimit_of_unlimited_resources(children, pair, expected):
    child = children.start()
    raisable(child.pid, resource.RLIMIT_CORE, pair[1])
    resource.prlimit(child.pid, resource.RLIMIT_CORE, pair)
    assert m.proc_getrlimit(child.pid, m.RLIMIT_CORE) == expected


@pytest.mark.parametrize("soft, hard, expected", [
    (-1, -1, (INF, INF)),
    (1024, -1, (1024, INF)),
    (m.RLIM_INFINITY, m.RLIM_INFINITY, (INF, INF)),
    (-5, -5, (INF, INF)),
])
def test_setrlimit_of_unlimited(children, soft, hard, expected):
    child = children.start()
    raisable(child.pid, resource.RLIMIT_CORE, INF)
    resource.prlimit(child.pid, resource.RLIMIT_CORE, (0, INF))
    m.proc_setrlimit(child.pid, m.RLIMIT_CORE, soft, hard)
    assert resource.prlimit(child.pid, resource.RLIMIT_CORE) == expected


@pytest.mark.parametrize("name", UNLIMITED_ON_HOST)
def test_resources_the_host_does_not_limit(children, name):
    child = children.start()
    number = getattr(m, "RLIMIT_" + name)
    assert m.proc_getrlimit(child.pid, number) == (m.RLIM_INFINITY, m.RLIM_INFINITY)
    with pytest.raises(OSError) as info:
        m.proc_setrlimit(child.pid, number, 10, 10)
    assert info.value.errno == errno.EOPNOTSUPP


@pytest.mark.parametrize("number", [99, 15, -1])
def test_rlimit_of_an_unknown_resource(children, number):
    child = children.start()
    with pytest.raises(OSError) as info:
        m.proc_getrlimit(child.pid, number)
    assert info.value.errno == errno.EINVAL
    assert info.value.strerror == f"{os.strerror(errno.EINVAL)} (originated from sysctl())"
    with pytest.raises(OSError) as info:
        m.proc_setrlimit(child.pid, number, 1, 1)
    assert info.value.errno == errno.EINVAL
    assert info.value.strerror == os.strerror(errno.EINVAL)


@pytest.mark.parametrize("reply, expected", [
    (struct.pack("<qq", 12345, 2**63 - 1), (12345, m.RLIM_INFINITY)),
    (struct.pack("<qq", 0, 1), (0, 1)),
])
def test_getrlimit_of_a_kernel_reply(control, reply, expected):
    control.answer(f"kern.proc.rlimit.{FAKE_PID}.{m.RLIMIT_NOFILE}", reply)
    assert m.proc_getrlimit(FAKE_PID, m.RLIMIT_NOFILE) == expected


def test_getrlimit_of_a_reply_longer_than_a_limit(control, children):
    # A reply that does not fit the 16-byte buffer: the kernel itself refuses it with ENOMEM
    # (keeping what fit), so the length never comes back larger than the buffer.
    child = children.start()
    control.answer(f"kern.proc.rlimit.{child.pid}.{m.RLIMIT_NOFILE}", bytes(24))
    with pytest.raises(OSError) as info:
        m.proc_getrlimit(child.pid, m.RLIMIT_NOFILE)
    assert info.value.errno == errno.ENOMEM
    assert info.value.strerror == f"{os.strerror(errno.ENOMEM)} (originated from sysctl())"


@pytest.mark.parametrize("pid", ["gone", -1])
def test_rlimit_of_missing_and_negative_pids(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError) as info:
        m.proc_getrlimit(pid, m.RLIMIT_NOFILE)
    assert info.value.strerror == f"{os.strerror(errno.ESRCH)} (originated from sysctl())"
    with pytest.raises(ProcessLookupError):
        m.proc_setrlimit(pid, m.RLIMIT_NOFILE, 100, 200)


@pytest.mark.parametrize("soft, hard, exc", [
    ("1024", 4096, TypeError),
    (1024, "4096", TypeError),
    (1024.0, 4096, TypeError),
    (None, 4096, TypeError),
    (2**64, 4096, OverflowError),
    (2**63, 4096, OverflowError),
    (1024, 2**63, OverflowError),
    (1024, -2**63 - 1, OverflowError),
])
def test_setrlimit_of_bad_values_writes_nothing(children, soft, hard, exc):
    child = children.start()
    resource.prlimit(child.pid, resource.RLIMIT_NOFILE, (100, 200))
    with pytest.raises(exc):
        m.proc_setrlimit(child.pid, m.RLIMIT_NOFILE, soft, hard)
    assert resource.prlimit(child.pid, resource.RLIMIT_NOFILE) == (100, 200)


# --- priority ---

@pytest.mark.parametrize("nice", [0, 5, 19, pytest.param(-1, marks=needs_root), pytest.param(-20, marks=needs_root)])
def test_priority_get(children, nice):
    child = children.start()
    os.setpriority(os.PRIO_PROCESS, child.pid, nice)
    assert m.proc_priority_get(child.pid) == nice == os.getpriority(os.PRIO_PROCESS, child.pid)


def test_priority_get_of_the_caller():
    assert m.proc_priority_get(os.getpid()) == os.getpriority(os.PRIO_PROCESS, 0)
    assert m.proc_priority_get(0) == os.getpriority(os.PRIO_PROCESS, 0)


@pytest.mark.parametrize("nice", [7, 19, 0, pytest.param(-1, marks=needs_root), pytest.param(-20, marks=needs_root)])
def test_priority_set(children, nice):
    child = children.start()
    os.setpriority(os.PRIO_PROCESS, child.pid, 3)
    assert m.proc_priority_set(child.pid, nice) is None
    assert os.getpriority(os.PRIO_PROCESS, child.pid) == nice
    assert m.proc_priority_get(child.pid) == nice


@pytest.mark.parametrize("pid", ["gone", -1])
def test_priority_of_missing_and_negative_pids(children, pid):
    pid = children.gone_pid() if pid == "gone" else pid
    with pytest.raises(ProcessLookupError):
        m.proc_priority_get(pid)
    with pytest.raises(ProcessLookupError):
        m.proc_priority_set(pid, 5)


def as_nobody(action):
    """Runs action in a forked child as user 65534; returns its exit code (an errno, or 0)."""
    pid = os.fork()
    if pid == 0:
        code = 99
        try:
            os.setresuid(65534, 65534, 65534)
            action()
            code = 0
        except OSError as e:
            code = e.errno
        finally:
            os._exit(code)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status)


@needs_root
def test_priority_set_without_privilege(children):
    child = children.start()  # belongs to root
    os.setpriority(os.PRIO_PROCESS, child.pid, 4)
    assert as_nobody(lambda: m.proc_priority_set(child.pid, 10)) in (errno.EACCES, errno.EPERM)
    assert os.getpriority(os.PRIO_PROCESS, child.pid) == 4
    # Lowering one's own nice value needs privilege as well.
    assert as_nobody(lambda: m.proc_priority_set(os.getpid(), -5)) in (errno.EACCES, errno.EPERM)


@needs_root
def test_priority_get_needs_no_privilege(children):
    child = children.start()
    os.setpriority(os.PRIO_PROCESS, child.pid, 6)

    def check():
        if m.proc_priority_get(child.pid) != 6:
            raise OSError(errno.EBADMSG, "wrong value")

    assert as_nobody(check) == 0


# --- arguments ---

@pytest.mark.parametrize("fn, good", [
    (m.proc_threads, ()), (m.proc_cpu_affinity_get, ()), (m.proc_cpu_affinity_set, ([0],)),
    (m.proc_getrlimit, (m.RLIMIT_NOFILE,)), (m.proc_setrlimit, (m.RLIMIT_NOFILE, 1, 1)),
    (m.proc_priority_get, ()), (m.proc_priority_set, (0,)),
])
def test_arguments_that_do_not_parse(fn, good):
    with pytest.raises(TypeError):
        fn("1", *good)
    with pytest.raises(TypeError):
        fn()
    with pytest.raises(OverflowError):
        fn(2**31, *good)


def test_affinity_set_of_a_list_that_changes_while_read(children):
    child = children.start()
    cpus = []

    class Clearing:
        def __index__(self):
            cpus.clear()  # the list empties under the walk
            return 0

    cpus.extend([Clearing()] + [0] * 200)
    m.proc_cpu_affinity_set(child.pid, cpus)
    assert os.sched_getaffinity(child.pid) == {0}


def test_priority_covers_every_thread_and_no_thread_id(children):
    code = ("import sys, threading, time\n"
            "for _ in range(2): threading.Thread(target=time.sleep, args=(600,), daemon=True).start()\n"
            "sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)")
    child = children.start(code)
    tids = [int(t) for t in os.listdir(f"/proc/{child.pid}/task")]
    m.proc_priority_set(child.pid, 7)
    assert {os.getpriority(os.PRIO_PROCESS, tid) for tid in tids} == {7}
    other = next(tid for tid in tids if tid != child.pid)
    for call in (lambda: m.proc_priority_get(other), lambda: m.proc_priority_set(other, 9)):
        with pytest.raises(ProcessLookupError):
            call()
    assert os.getpriority(os.PRIO_PROCESS, other) == 7


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to drop to another user")
def test_anyone_reads_another_users_limits(children):
    child = children.start()
    expected = [resource.prlimit(child.pid, r) for r in (resource.RLIMIT_NOFILE, resource.RLIMIT_STACK)]
    expected = [tuple(m.RLIM_INFINITY if v == resource.RLIM_INFINITY else v for v in pair) for pair in expected]
    reader = os.fork()
    if reader == 0:
        try:
            os.setresuid(65534, 65534, 65534)
            got = [m.proc_getrlimit(child.pid, r) for r in (m.RLIMIT_NOFILE, m.RLIMIT_STACK)]
            os._exit(0 if got == expected else 1)
        finally:
            os._exit(2)
    _, status = os.waitpid(reader, 0)
    assert os.waitstatus_to_exitcode(status) == 0
