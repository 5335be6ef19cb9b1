"""Disks, sensors, boot time and users: each function beside the raw cost of the host reads
behind it, in C, measured in the same run, and the thread scaling of disk_partitions."""
import _lumvik_bsd as m
from common import answering, raw_results, scaling

CPU = 0
FUNCTIONS = {
    "disk_partitions": ((), "mount_table"),
    "disk_io_counters": ((), "disk_io_counters"),
    "boot_time": ((), "boot_time"),
    "sensors_battery": ((), "sensors_battery"),
    "sensors_cpu_temperature": ((CPU,), "sensors_cpu_temperature"),
    "users": ((), "users"),
}


def call_arguments():
    """Arguments for the general list, for the functions that answer on this machine."""
    return {name: args for name, (args, _) in FUNCTIONS.items() if answering(getattr(m, name), args)[1]}


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    module = {}
    for name, (args, _) in FUNCTIONS.items():
        fn, _ = answering(getattr(m, name), args)
        module[name] = median_cost_ns(fn, args, calls_for(fn, args))
    raw = raw_results(results, "raw_disks_sensors", (CPU,))
    out("disks, sensors, boot time, users: the module beside the raw host reads in C")
    out(f"  {'':28s} {'module':>13s} {'raw reads':>13s}  ratio")
    for name, (_, raw_name) in FUNCTIONS.items():
        note = "" if answering(getattr(m, name), FUNCTIONS[name][0])[1] else "  (no such hardware: refused)"
        out(f"  {name:28s} {human_ns(module[name])} {human_ns(raw[raw_name])}  {module[name] / raw[raw_name]:5.2f}{note}")
    out(f"  {'(mount table and statfs of every mount)':40s} {human_ns(raw['mount_table_statfs'])}")
    out("throughput of disk_partitions (calls per second)")
    scaling(out, throughput, m.disk_partitions, (), seconds)
