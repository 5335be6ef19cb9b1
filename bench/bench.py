"""Cost of one call of every Python-level function, the throughput of a hot one from
several threads, and a full process snapshot next to the raw cost of the host reads behind
it. Results go to the screen and to bench/results/latest.txt."""
import argparse
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

import _lumvik_bsd as m
import cpu_mem
import disks_sensors
import net_ifaces
import net_sockets
from common import build_raw, scaling

RESULTS = Path(__file__).resolve().parent / "results"


def call_arguments():
    """Arguments for each function worth timing; a function missing here is reported."""
    pid = os.getpid()
    per_pid = ["proc_is_zombie", "proc_oneshot_info", "proc_name", "proc_num_threads", "proc_cmdline",
               "proc_environ", "proc_exe", "proc_open_files", "proc_cwd", "proc_num_fds", "proc_memory_maps",
               "proc_threads", "proc_cpu_affinity_get", "proc_priority_get"]
    arguments = {name: (pid,) for name in per_pid}
    nofile = m.proc_getrlimit(pid, m.RLIMIT_NOFILE)
    arguments.update({
        "getpagesize": (),
        "check_pid_range": (pid,),
        "set_debug": (False,),
        "pids": (),
        # the setters write back what is there
        "proc_cpu_affinity_set": (pid, m.proc_cpu_affinity_get(pid)),
        "proc_getrlimit": (pid, m.RLIMIT_NOFILE),
        "proc_setrlimit": (pid, m.RLIMIT_NOFILE, *nofile),
        "proc_priority_set": (pid, m.proc_priority_get(pid)),
    })
    arguments.update(disks_sensors.call_arguments())
    arguments.update(cpu_mem.call_arguments())
    arguments.update(net_ifaces.call_arguments())
    arguments.update(net_sockets.call_arguments())
    return arguments


def snapshot():
    """What a process monitor does each refresh: the table, then every process's summary."""
    for pid in m.pids():
        try:
            m.proc_oneshot_info(pid)
        except (ProcessLookupError, PermissionError):
            pass


def raw_snapshot_ns():
    """The same host reads in plain C, without the module or the personality."""
    binary = build_raw(RESULTS, "raw_snapshot")
    return int(subprocess.run([str(binary), "21"], check=True, capture_output=True, text=True).stdout)


def median_cost_ns(fn, args, calls):
    samples = []
    for _ in range(7):
        start = time.perf_counter_ns()
        for _ in range(calls):
            fn(*args)
        samples.append((time.perf_counter_ns() - start) / calls)
    return statistics.median(samples)


def calls_for(fn, args):
    """Enough calls per sample for about 20 ms."""
    start = time.perf_counter_ns()
    fn(*args)
    once = max(time.perf_counter_ns() - start, 1)
    return max(1, min(100_000, 20_000_000 // once))


def throughput(fn, args, threads, seconds):
    counts = [0] * threads
    stop = threading.Event()
    barrier = threading.Barrier(threads + 1)

    def worker(i):
        barrier.wait()
        n = 0
        while not stop.is_set():
            fn(*args)
            n += 1
        counts[i] = n

    pool = [threading.Thread(target=worker, args=(i,)) for i in range(threads)]
    for t in pool:
        t.start()
    barrier.wait()
    start = time.perf_counter()
    time.sleep(seconds)
    stop.set()
    for t in pool:
        t.join()
    return sum(counts) / (time.perf_counter() - start)


def human_ns(ns):
    return f"{ns / 1000:10.2f} us" if ns >= 1000 else f"{ns:10.0f} ns"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--hot", default="proc_oneshot_info", help="function for the thread throughput")
    parser.add_argument("--seconds", type=float, default=1.0, help="seconds per throughput run")
    opts = parser.parse_args()

    lines = []

    def out(line):
        print(line, flush=True)
        lines.append(line)

    out(f"_lumvik_bsd {m.version} on {os.uname().sysname} {os.uname().release}, "
        f"{os.cpu_count()} CPUs, GIL {'on' if sys._is_gil_enabled() else 'off'}")
    out("")
    arguments = call_arguments()
    functions = sorted(name for name in dir(m) if callable(getattr(m, name)) and not name[0].isupper())
    out("cost of one call (median of 7 samples)")
    for name in functions:
        if name not in arguments:
            out(f"  {name:28s} (no benchmark arguments)")
            continue
        fn, args = getattr(m, name), arguments[name]
        out(f"  {name:28s} {human_ns(median_cost_ns(fn, args, calls_for(fn, args)))}")

    out("")
    out(f"throughput of {opts.hot} (calls per second)")
    scaling(out, throughput, getattr(m, opts.hot), arguments[opts.hot], opts.seconds)

    out("")
    disks_sensors.report(out, RESULTS, median_cost_ns, calls_for, throughput, human_ns, opts.seconds)
    out("")
    cpu_mem.report(out, RESULTS, median_cost_ns, calls_for, throughput, human_ns, opts.seconds)
    out("")
    net_ifaces.report(out, RESULTS, median_cost_ns, calls_for, throughput, human_ns, opts.seconds)
    out("")
    net_sockets.report(out, RESULTS, median_cost_ns, calls_for, throughput, human_ns, opts.seconds)

    out("")
    out(f"process snapshot: pids() then proc_oneshot_info() for each of {len(m.pids())} processes")
    RESULTS.mkdir(exist_ok=True)
    module_ns = median_cost_ns(snapshot, (), 3)
    raw_ns = raw_snapshot_ns()
    out(f"  through the module        {module_ns / 1e6:8.2f} ms")
    out(f"  raw host reads in C       {raw_ns / 1e6:8.2f} ms")
    out(f"  ratio                     {module_ns / raw_ns:8.2f}")
    single = None
    for threads in (1, 2, 4):
        rate = throughput(snapshot, (), threads, opts.seconds * 2)
        single = single or rate
        out(f"  {threads} thread{'s' if threads > 1 else ' '}  {rate:10.1f} snapshots/s   x{rate / single:.2f}")

    out("")
    out("one refresh of ./dev demo --live (median of 7)")
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
    from snapshot.app import refresh_cost
    reads, draw_ms = refresh_cost()
    for heading, ms in reads.items():
        out(f"  reading {heading:24s} {ms:8.2f} ms")
    out(f"  drawing the frame                {draw_ms:8.2f} ms")

    (RESULTS / "latest.txt").write_text("\n".join(lines) + "\n")
    print(f"\nwritten to {RESULTS / 'latest.txt'}")


if __name__ == "__main__":
    main()
