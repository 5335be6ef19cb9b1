"""CPU and memory: each function beside the raw cost of the host reads behind it, in C,
measured in the same run, and the thread scaling of cpu_times and virtual_mem beside that of
their raw reads."""
import subprocess
from pathlib import Path

import _lumvik_bsd as m

HERE = Path(__file__).resolve().parent
CPU = 0
FUNCTIONS = {
    "cpu_count_logical": (), "cpu_times": (), "per_cpu_times": (), "cpu_topology": (), "cpu_stats": (),
    "cpu_freq": (CPU,), "virtual_mem": (), "swap_mem": (), "heap_info": (), "heap_trim": (),
}
SCALED = ("cpu_times", "virtual_mem")


def answering(name):
    """The function itself, or, on a machine without a frequency driver, a caller that takes
    the refusal; and whether it answered."""
    fn, args = getattr(m, name), FUNCTIONS[name]
    try:
        fn(*args)
        return fn, True
    except NotImplementedError:
        def refused(*a):
            try:
                fn(*a)
            except NotImplementedError:
                pass
        return refused, False


def call_arguments():
    return {name: args for name, args in FUNCTIONS.items() if answering(name)[1]}


def raw(results, seconds):
    binary = results / "raw_cpu_mem"
    subprocess.run(["cc", "-O2", "-pthread", "-o", str(binary), str(HERE / "raw_cpu_mem.c")], check=True)
    text = subprocess.run([str(binary), str(CPU), str(seconds)], check=True, capture_output=True, text=True).stdout
    return {name: float(value) for name, value in map(str.split, text.splitlines())}


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    module = {}
    for name, args in FUNCTIONS.items():
        fn, _ = answering(name)
        module[name] = median_cost_ns(fn, args, calls_for(fn, args))
    host = raw(results, seconds)
    out("CPU and memory: the module beside the raw host reads in C")
    out(f"  {'':28s} {'module':>13s} {'raw reads':>13s}  ratio")
    for name in FUNCTIONS:
        note = "" if answering(name)[1] else "  (no frequency driver: refused)"
        out(f"  {name:28s} {human_ns(module[name])} {human_ns(host[name])}  {module[name] / host[name]:5.2f}{note}")
    for name in SCALED:
        out(f"throughput of {name} (calls per second), beside its raw reads")
        single = raw_single = None
        for threads in (1, 2, 4):
            rate = throughput(getattr(m, name), (), threads, seconds)
            raw_rate = host[f"{name}@{threads}"]
            single, raw_single = single or rate, raw_single or raw_rate
            out(f"  {threads} thread{'s' if threads > 1 else ' '}  {rate:12,.0f}   x{rate / single:.2f}"
                f"   raw {raw_rate:12,.0f}   x{raw_rate / raw_single:.2f}")
