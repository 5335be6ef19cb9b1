"""Interfaces: each function beside the raw cost of the host reads behind it, in C, measured in
the same run, and the thread scaling of net_io_counters."""
import subprocess
from pathlib import Path

import _lumvik_bsd as m

HERE = Path(__file__).resolve().parent


def interface():
    """An interface with media where there is one, else a running one that is not the loopback."""
    names = list(m.net_io_counters())
    running = [n for n in names if m.net_if_is_running(n) and "loopback" not in m.net_if_flags(n)]
    return next((n for n in names if m.net_if_duplex_speed(n) != [0, 0]), running[0] if running else "lo")


def functions(name):
    """Each function, its arguments and the raw reads it needs."""
    return {
        "net_io_counters": ((), "interface_list"),
        "net_if_addrs": ((), "interface_list"),
        "net_if_mtu": ((name,), "mtu"),
        "net_if_flags": ((name,), "flags"),
        "net_if_is_running": ((name,), "flags"),
        "net_if_duplex_speed": ((name,), "media"),
    }


def call_arguments():
    return {fn: args for fn, (args, _) in functions(interface()).items()}


def raw_ns(results, name):
    binary = results / "raw_net_ifaces"
    subprocess.run(["cc", "-O2", "-o", str(binary), str(HERE / "raw_net_ifaces.c")], check=True)
    text = subprocess.run([str(binary), name], check=True, capture_output=True, text=True).stdout
    return {key: int(ns) for key, ns in map(str.split, text.splitlines())}


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    name = interface()
    raw = raw_ns(results, name)
    out(f"interfaces ({name} for the per-interface ones): the module beside the raw host reads in C")
    out(f"  {'':28s} {'module':>13s} {'raw reads':>13s}  ratio")
    for fn_name, (args, raw_name) in functions(name).items():
        fn = getattr(m, fn_name)
        cost = median_cost_ns(fn, args, calls_for(fn, args))
        out(f"  {fn_name:28s} {human_ns(cost)} {human_ns(raw[raw_name])}  {cost / raw[raw_name]:5.2f}")
    out(f"  {'(/proc/net/dev, for comparison)':28s} {'':13s} {human_ns(raw['proc_net_dev'])}")
    out(f"  {'(glibc getifaddrs)':28s} {'':13s} {human_ns(raw['getifaddrs'])}")
    out("throughput of net_io_counters (calls per second)")
    single = None
    for threads in (1, 2, 4):
        rate = throughput(m.net_io_counters, (), threads, seconds)
        single = single or rate
        out(f"  {threads} thread{'s' if threads > 1 else ' '}  {rate:14,.0f}   x{rate / single:.2f}")
