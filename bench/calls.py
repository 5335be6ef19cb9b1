"""How to call each Python-level function of the module in a long run: its arguments and the
exceptions it may raise there. A function the module has and this table lacks is an error, so
a new function cannot slip past the stress run unseen."""
import os
import resource
import socket
from dataclasses import dataclass

import _lumvik_bsd as m

# FreeBSD's numbers, as the Python layer passes them.
AF_UNIX, AF_INET, AF_INET6 = 1, 2, 28
SOCK_STREAM, SOCK_DGRAM, SOCK_SEQPACKET = 1, 2, 5
FAMILIES, TYPES = [AF_INET, AF_INET6, AF_UNIX], [SOCK_STREAM, SOCK_DGRAM, SOCK_SEQPACKET]

# What a call on a process that ends, or has ended, under it may raise.
VANISHED = (ProcessLookupError, m.ZombieProcessError)
# Optional hardware this host may not have.
NO_HARDWARE = (NotImplementedError,)


@dataclass(frozen=True)
class Call:
    """`args(target)` builds the arguments; `target` is None, a pid or an interface name."""
    args: object
    allowed: tuple = ()
    target: str = "none"  # "none", "pid" (any process), "child" (one of ours, to change), "interface"


def _table():
    cpus = sorted(os.sched_getaffinity(0))
    nofile = resource.getrlimit(resource.RLIMIT_NOFILE)  # children inherit it: written back unchanged
    pid_readers = ["proc_is_zombie", "proc_oneshot_info", "proc_name", "proc_num_threads", "proc_cmdline",
                   "proc_environ", "proc_exe", "proc_open_files", "proc_cwd", "proc_num_fds", "proc_memory_maps",
                   "proc_threads", "proc_cpu_affinity_get", "proc_priority_get"]
    table = {name: Call(lambda pid: (pid,), VANISHED, "pid") for name in pid_readers}
    no_args = ["pids", "getpagesize", "boot_time", "cpu_count_logical", "cpu_stats", "cpu_times", "per_cpu_times",
               "cpu_topology", "disk_io_counters", "disk_partitions", "net_io_counters", "net_if_addrs", "swap_mem",
               "heap_info", "heap_trim", "virtual_mem", "users"]
    table.update({name: Call(lambda _: ()) for name in no_args})
    table.update({
        "proc_getrlimit": Call(lambda pid: (pid, m.RLIMIT_NOFILE), VANISHED, "pid"),
        "proc_net_connections": Call(lambda pid: (pid, FAMILIES, TYPES), VANISHED, "pid"),
        "proc_cpu_affinity_set": Call(lambda pid: (pid, cpus), VANISHED, "child"),
        "proc_setrlimit": Call(lambda pid: (pid, m.RLIMIT_NOFILE, *nofile), VANISHED, "child"),
        "proc_priority_set": Call(lambda pid: (pid, 5), VANISHED, "child"),
        "check_pid_range": Call(lambda _: (os.getpid(),)),
        "set_debug": Call(lambda _: (False,)),
        "net_connections": Call(lambda _: (FAMILIES, TYPES)),
        "cpu_freq": Call(lambda _: (cpus[0],), NO_HARDWARE),
        "sensors_cpu_temperature": Call(lambda _: (cpus[0],), NO_HARDWARE),
        "sensors_battery": Call(lambda _: (), NO_HARDWARE),
    })
    for name in ["net_if_mtu", "net_if_flags", "net_if_is_running", "net_if_duplex_speed"]:
        table[name] = Call(lambda name: (name,), (), "interface")
    return table


CALLS = _table()


def module_functions():
    """The module's Python-level functions by name, found on the module itself."""
    return {name: getattr(m, name) for name in dir(m) if callable(getattr(m, name)) and not isinstance(
        getattr(m, name), type)}


def interfaces():
    return [name for _, name in socket.if_nameindex()]
