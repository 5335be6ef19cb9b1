"""Representative functions called a million times each, on paths that succeed and paths that
fail, with the growth of this process's resident memory over each; fails when a function grows
it by more than LIMIT_KB. Writes bench/results/leaks.txt."""
import argparse
import os
import subprocess
import sys
import threading
from pathlib import Path

import _lumvik_bsd as m

RESULTS = Path(__file__).resolve().parent / "results"
LIMIT_KB = 2048  # two bytes a call over a million calls; the allocators' own noise stays far below


def resident_kb():
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS"))


def representative_calls(gone, child):
    me = os.getpid()
    return [
        ("proc_oneshot_info", (me,)),  # the record fetch and the widest tuple
        ("proc_exe", (me,)),
        ("proc_getrlimit", (me, m.RLIMIT_NOFILE)),
        ("proc_cpu_affinity_get", (me,)),
        ("proc_oneshot_info", (gone,)),  # the failure paths: no such process, ...
        ("proc_cmdline", (gone,)),
        ("proc_environ", (gone,)),
        ("proc_open_files", (gone,)),
        ("proc_getrlimit", (me, 99)),  # ... an unknown resource, a bad CPU, a bad pid
        ("proc_cpu_affinity_set", (child, [0, -1])),
        ("check_pid_range", (-1,)),
    ]


def repeat(fn, args, calls, threads=2):
    def loop(n):
        for _ in range(n):
            try:
                fn(*args)
            except Exception:  # noqa: BLE001 - the failing paths are half of what is measured
                pass

    pool = [threading.Thread(target=loop, args=(calls // threads,)) for _ in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--calls", type=int, default=1_000_000)
    options = parser.parse_args()

    ended = subprocess.Popen(["true"])
    ended.wait()
    child = subprocess.Popen(["sleep", "3600"], stdin=subprocess.DEVNULL)
    lines, over = [f"{options.calls} calls each, from 2 threads; resident memory growth in KB", ""], []
    try:
        for name, args in representative_calls(ended.pid, child.pid):
            fn = getattr(m, name)
            repeat(fn, args, options.calls // 100)  # the allocators reach their steady state
            before = resident_kb()
            repeat(fn, args, options.calls)
            grown = resident_kb() - before
            label = f"{name}({', '.join(map(str, args))})".replace(str(ended.pid), "gone").replace(
                str(child.pid), "child").replace(str(os.getpid()), "self")
            lines.append(f"{label:44} {grown:+8} KB")
            print(lines[-1], flush=True)
            if grown > LIMIT_KB:
                over.append(label)
    finally:
        child.kill()
        child.wait()
    lines += ["", f"over {LIMIT_KB} KB: {', '.join(over) or 'none'}"]
    print(lines[-1])
    RESULTS.mkdir(exist_ok=True)
    (RESULTS / "leaks.txt").write_text("\n".join(lines) + "\n")
    sys.exit(1 if over else 0)


if __name__ == "__main__":
    main()
