"""CPU and memory: each function beside the raw cost of the host reads behind it, in C,
measured in the same run, and the thread scaling of cpu_times and virtual_mem beside that of
their raw reads."""
import _lumvik_bsd as m
from common import answering, raw_results

CPU = 0
FUNCTIONS = {
    "cpu_count_logical": (), "cpu_times": (), "per_cpu_times": (), "cpu_topology": (), "cpu_stats": (),
    "cpu_freq": (CPU,), "virtual_mem": (), "swap_mem": (), "heap_info": (), "heap_trim": (),
}
SCALED = ("cpu_times", "virtual_mem")


def answering_by_name(name):
    """The function, or on a machine without a frequency driver a caller that takes the
    refusal; and whether it answered."""
    return answering(getattr(m, name), FUNCTIONS[name])


def call_arguments():
    return {name: args for name, args in FUNCTIONS.items() if answering_by_name(name)[1]}


def raw(results, seconds):
    return raw_results(results, "raw_cpu_mem", (CPU, seconds), ("-pthread",), float)


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    module = {}
    for name, args in FUNCTIONS.items():
        fn, _ = answering_by_name(name)
        module[name] = median_cost_ns(fn, args, calls_for(fn, args))
    host = raw(results, seconds)
    out("CPU and memory: the module beside the raw host reads in C")
    out(f"  {'':28s} {'module':>13s} {'raw reads':>13s}  ratio")
    for name in FUNCTIONS:
        note = "" if answering_by_name(name)[1] else "  (no frequency driver: refused)"
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
