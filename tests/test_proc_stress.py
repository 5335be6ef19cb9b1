"""Every process function from several threads at once, on the caller and on children that
end during the run; and repeated calls, successful and failing, that must not grow memory."""
import os
import subprocess
import threading

import pytest

import _lumvik_bsd as m
from children import wait_for
from conftest import NEEDS_C_ALLOCATOR
from truth import read_lines

# What a call on a process that ends under it may raise.
VANISHED = (ProcessLookupError, m.ZombieProcessError)


def calls_on(pid):
    """One call of each process function; the setters write back what is there."""
    me = os.getpid()
    readers = [m.proc_is_zombie, m.proc_oneshot_info, m.proc_name, m.proc_num_threads, m.proc_cmdline,
               m.proc_environ, m.proc_exe, m.proc_open_files, m.proc_cwd, m.proc_num_fds, m.proc_memory_maps,
               m.proc_threads, m.proc_cpu_affinity_get, m.proc_priority_get]
    calls = [(fn, (pid,)) for fn in readers]
    calls += [(m.proc_getrlimit, (pid, m.RLIMIT_NOFILE)), (m.pids, ())]
    if pid == me:
        calls += [(m.proc_cpu_affinity_set, (me, m.proc_cpu_affinity_get(me))),
                  (m.proc_setrlimit, (me, m.RLIMIT_NOFILE, *m.proc_getrlimit(me, m.RLIMIT_NOFILE))),
                  (m.proc_priority_set, (me, m.proc_priority_get(me)))]
    return calls


def test_threads_on_live_and_vanishing_processes():
    failures = []
    stop = threading.Event()
    short_lived = []
    lock = threading.Lock()

    def spawner():
        while not stop.is_set():
            proc = subprocess.Popen(["sleep", "0.005"])
            with lock:
                short_lived.append(proc.pid)
            proc.wait()

    def worker():
        try:
            for _ in range(15):
                with lock:
                    targets = [os.getpid()] + short_lived[-3:]
                for pid in targets:
                    for fn, args in calls_on(pid):
                        try:
                            fn(*args)
                        except VANISHED:
                            assert pid != os.getpid()
        except Exception as exc:  # anything else fails the test, reported with its kind and text
            failures.append(repr(exc))

    spawn = threading.Thread(target=spawner)
    spawn.start()
    try:
        # The workers start once there are processes that have ended to call on.
        wait_for(lambda: len(short_lived), lambda count: count > 3, "short-lived children")
        pool = [threading.Thread(target=worker) for _ in range(4)]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
    finally:
        stop.set()
        spawn.join()
    assert failures == []


def resident_kb():
    return next(int(line.split()[1]) for line in read_lines("/proc/self/status") if line.startswith("VmRSS"))


@NEEDS_C_ALLOCATOR
@pytest.mark.parametrize("target", ["caller", "gone"])
def test_repeated_calls_do_not_grow_memory(children, target):
    pid = os.getpid() if target == "caller" else children.gone_pid()
    calls = calls_on(pid)

    def round_of_calls():
        for fn, args in calls:
            try:
                fn(*args)
            except VANISHED:
                pass

    for _ in range(50):  # let the allocator and the interpreter settle
        round_of_calls()
    before = resident_kb()
    for _ in range(400):
        round_of_calls()
    # A leak of even a few bytes per call would show as megabytes over these 7000 calls.
    assert resident_kb() - before < 1024
