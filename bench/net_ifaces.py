"""Interfaces: each function beside the raw cost of the host reads behind it, in C, measured in
the same run, and the thread scaling of net_io_counters."""
import _lumvik_bsd as m
from common import raw_results, scaling


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


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    name = interface()
    raw = raw_results(results, "raw_net_ifaces", (name,))
    out(f"interfaces ({name} for the per-interface ones): the module beside the raw host reads in C")
    out(f"  {'':28s} {'module':>13s} {'raw reads':>13s}  ratio")
    for fn_name, (args, raw_name) in functions(name).items():
        fn = getattr(m, fn_name)
        cost = median_cost_ns(fn, args, calls_for(fn, args))
        out(f"  {fn_name:28s} {human_ns(cost)} {human_ns(raw[raw_name])}  {cost / raw[raw_name]:5.2f}")
    out(f"  {'(/proc/net/dev, for comparison)':28s} {'':13s} {human_ns(raw['proc_net_dev'])}")
    out(f"  {'(glibc getifaddrs)':28s} {'':13s} {human_ns(raw['getifaddrs'])}")
    out("throughput of net_io_counters (calls per second)")
    scaling(out, throughput, m.net_io_counters, (), seconds)
