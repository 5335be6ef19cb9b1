"""Child processes in known states, for comparing the module with what Linux says."""
import os
import signal
import subprocess
import sys
import time

SLEEPER = "import sys, time; sys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)"


def linux_state(pid):
    """The state letter of /proc/PID/stat, or None once the process is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None


def wait_for(predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise TimeoutError("condition not reached")
        time.sleep(0.005)


class Children:
    """Starts children and ends every one of them at teardown."""

    def __init__(self):
        self._procs = []

    def start(self, code=SLEEPER, args=(), **popen):
        """A Python child running code with extra arguments; returns once it runs the code."""
        proc = subprocess.Popen([sys.executable, "-c", code, *args], stdout=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, **popen)
        self._procs.append(proc)
        if code is SLEEPER or "ready" in code:
            assert proc.stdout.readline() == b"ready\n"
        if code is SLEEPER:  # "ready" comes just before the sleep: wait until it sleeps
            wait_for(lambda: linux_state(proc.pid) == "S")
        return proc

    def zombie(self):
        """A child that has exited and is not reaped yet."""
        proc = subprocess.Popen([sys.executable, "-c", "pass"], stdin=subprocess.DEVNULL)
        self._procs.append(proc)
        wait_for(lambda: linux_state(proc.pid) == "Z")
        return proc

    def stopped(self):
        proc = self.start()
        os.kill(proc.pid, signal.SIGSTOP)
        wait_for(lambda: linux_state(proc.pid) == "T")
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
