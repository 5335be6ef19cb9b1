"""Child processes in known states, for comparing the module with what Linux says."""
import os
import signal
import subprocess
import sys
import time

from truth import read_text

SLEEPER = "import sys, time; sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)"


def linux_state(pid):
    """The state letter of /proc/PID/stat (or of "PID/task/TID"), or None once it is gone."""
    try:
        return read_text(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None


def thread_states(pid):
    """{tid: state letter} of every thread of pid; threads that end meanwhile are left out."""
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return {}
    states = {int(tid): linux_state(f"{pid}/task/{tid}") for tid in tids}
    return {tid: state for tid, state in states.items() if state is not None}


def wait_for(probe, done=bool, what="the awaited state", timeout=60.0):
    """Polls probe() until done(its value); fails naming what was awaited and what was last
    seen. The bound is generous: it only turns a hang into a failure on a loaded machine."""
    deadline = time.monotonic() + timeout
    while not done(seen := probe()):
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout:g} s for {what}; last seen: {seen!r}")
        time.sleep(0.002)
    return seen


def wait_asleep(pid):
    """Returns once no thread of pid runs: each sleeps, or has exited (a zombie)."""
    wait_for(lambda: thread_states(pid), lambda states: states and set(states.values()) <= {"S", "Z"},
             f"every thread of {pid} asleep")


class Children:
    """Starts children and ends every one of them at teardown."""

    def __init__(self):
        self._procs = []

    def start(self, code=SLEEPER, args=(), **popen):
        """A Python child running code with extra arguments; one that says "ready" is asleep
        when this returns."""
        proc = subprocess.Popen([sys.executable, "-c", code, *args], stdout=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, **popen)
        self._procs.append(proc)
        if code is SLEEPER or "ready" in code:
            assert proc.stdout.readline() == b"ready\n"
            wait_asleep(proc.pid)  # what it does after "ready" is to sleep: its state is settled then
        return proc

    def zombie(self):
        """A child that has exited and is not reaped yet."""
        proc = subprocess.Popen([sys.executable, "-c", "pass"], stdin=subprocess.DEVNULL)
        self._procs.append(proc)
        wait_for(lambda: linux_state(proc.pid), lambda state: state == "Z", f"{proc.pid} a zombie")
        return proc

    def stopped(self):
        proc = self.start()
        os.kill(proc.pid, signal.SIGSTOP)
        wait_for(lambda: linux_state(proc.pid), lambda state: state == "T", f"{proc.pid} stopped")
        return proc

    def gone_pid(self):
        """The pid of a child that has ended and been reaped."""
        proc = subprocess.Popen([sys.executable, "-c", "pass"], stdin=subprocess.DEVNULL)
        proc.wait()
        return proc.pid

    def close(self):
        for proc in self._procs:
            if proc.poll() is None:
                proc.kill()
            proc.wait()
            if proc.stdout:
                proc.stdout.close()
