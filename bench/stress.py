"""Every Python-level function of the module from several threads at once for a fixed time, on
the caller and on children that start, end, wait as zombies and are reaped meanwhile. Prints the
calls and exceptions by function and type, writes bench/results/stress.txt, and fails when a
function raised what it may not raise."""
import argparse
import collections
import os
import random
import subprocess
import sys
import threading
import time
from pathlib import Path

from calls import CALLS, interfaces, module_functions

RESULTS = Path(__file__).resolve().parent / "results"


class Churn:
    """Children that come and go. The oldest are reaped once they have ended, unless a call
    holds them: a held child keeps its pid, so a changing call never reaches another process."""

    UNREAPED = 8

    def __init__(self):
        self._lock = threading.Lock()
        self._unreaped = []  # Popen objects, oldest first
        self._held = collections.Counter()
        self._reaped = collections.deque(maxlen=16)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run)
        self.started = 0

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        for proc in self._unreaped:
            proc.kill()
            proc.wait()

    def _run(self):
        while not self._stop.is_set():
            proc = subprocess.Popen(["sleep", random.choice(["0", "0.01", "0.05"])], stdin=subprocess.DEVNULL)
            with self._lock:
                self._unreaped.append(proc)
                self.started += 1
                for old in self._unreaped[:-self.UNREAPED]:
                    if not self._held[old.pid] and old.poll() is not None:
                        self._unreaped.remove(old)
                        self._reaped.append(old.pid)

    def any_pid(self, rng):
        """A child not reaped yet (running or ended) half of the time, else a reaped one or the caller."""
        with self._lock:
            groups = [[p.pid for p in self._unreaped]] * 2 + [list(self._reaped), [os.getpid()]]
        return rng.choice(rng.choice([g for g in groups if g]))

    def hold(self, rng):
        with self._lock:
            if not self._unreaped:
                return None
            pid = rng.choice(self._unreaped).pid
            self._held[pid] += 1
            return pid

    def release(self, pid):
        with self._lock:
            self._held[pid] -= 1


def worker(seed, names, functions, churn, deadline, counts, wrong):
    rng = random.Random(seed)
    names_of_interfaces = interfaces()
    while time.monotonic() < deadline:
        name = rng.choice(names)
        call = CALLS[name]
        held = None
        if call.target == "child":
            target = held = churn.hold(rng)
            if held is None:
                continue
        elif call.target == "pid":
            target = churn.any_pid(rng)
        elif call.target == "interface":
            target = rng.choice(names_of_interfaces)
        else:
            target = None
        try:
            functions[name](*call.args(target))
            outcome = "ok"
        except call.allowed as exc:
            outcome = type(exc).__name__
        except Exception as exc:  # noqa: BLE001 - every other kind is what this run looks for
            outcome = type(exc).__name__
            wrong.append(f"{name}{call.args(target)!r}: {exc!r}")
        finally:
            if held is not None:
                churn.release(held)
        counts[name][outcome] += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--threads", type=int, default=8)
    options = parser.parse_args()

    functions = module_functions()
    unknown = sorted(set(functions) - set(CALLS))
    if unknown:
        sys.exit(f"no arguments known for {', '.join(unknown)}: add them to bench/calls.py")
    names = sorted(functions)
    counts = {name: collections.Counter() for name in names}  # each thread adds to its own below
    wrong = []
    per_thread = [{name: collections.Counter() for name in names} for _ in range(options.threads)]
    with Churn() as churn:
        deadline = time.monotonic() + options.seconds
        threads = [threading.Thread(target=worker, args=(i, names, functions, churn, deadline, per_thread[i], wrong))
                   for i in range(options.threads)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        children = churn.started
    for mine in per_thread:
        for name, outcomes in mine.items():
            counts[name].update(outcomes)

    total = sum(sum(c.values()) for c in counts.values())
    lines = [f"{len(names)} functions, {options.threads} threads, {options.seconds:g} s, "
             f"{children} children started and reaped meanwhile",
             f"{total} calls, {sum(c['ok'] for c in counts.values())} returned, "
             f"{len(wrong)} raised what they may not", ""]
    for name in names:
        outcomes = counts[name]
        raised = ", ".join(f"{kind} {n}" for kind, n in sorted(outcomes.items()) if kind != "ok")
        lines.append(f"{name:26} {sum(outcomes.values()):8} calls  {outcomes['ok']:8} ok  {raised}")
    lines += [""] + [f"NOT ALLOWED: {text}" for text in wrong[:20]]
    print("\n".join(lines))
    RESULTS.mkdir(exist_ok=True)
    (RESULTS / "stress.txt").write_text("\n".join(lines) + "\n")
    sys.exit(1 if wrong else 0)


if __name__ == "__main__":
    main()
