"""Processes: a table like top's, and what the module tells about this very process."""
import os
import pwd
from collections import Counter
from typing import NamedTuple

import _lumvik_bsd as m

from rich.console import Group
from rich.text import Text

from .section import Section, pairs, table
from .units import cpu_time, pct, per_second, printable, size

STATE_NAMES = {m.SIDL: "START", m.SRUN: "RUN", m.SSLEEP: "SLEEP", m.SSTOP: "STOP",
               m.SZOMB: "ZOMB", m.SWAIT: "WAIT", m.SLOCK: "LOCK"}
STATE_WORDS = {m.SIDL: "starting", m.SRUN: "running", m.SSLEEP: "sleeping", m.SSTOP: "stopped",
               m.SZOMB: "zombie", m.SWAIT: "waiting", m.SLOCK: "lock"}
# A process may end, or hide, between the listing and the questions about it.
GONE = (ProcessLookupError, PermissionError, m.ZombieProcessError)


class Proc(NamedTuple):
    pid: int
    state: int
    uid: int
    started: float
    cpu_seconds: float
    rss: int
    vsz: int
    cpu: int
    threads: int
    nice: int
    command: str


def _proc(pid):
    info = m.proc_oneshot_info(pid)
    name = info[24] if info[24] is not None else "?"
    try:
        command = " ".join(m.proc_cmdline(pid)) or f"[{name}]"
    except (GONE + (OSError,)):
        command = f"[{name}]"  # a kernel thread or an exiting process has no arguments to read
    return Proc(pid, info[1], info[3], info[9], info[14] + info[15], info[18], info[19], info[23],
                m.proc_num_threads(pid), m.proc_priority_get(pid), command)


def read_processes():
    procs = {}
    for pid in m.pids():
        try:
            procs[pid] = _proc(pid)
        except GONE:
            continue
    return procs


def user_name(uid):
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return str(uid)


def cpu_share(proc, before, seconds):
    """The share of one CPU the process used since the last reading, as top's WCPU; a pid
    reused by a newer process (another start time) counts from zero."""
    old = before.get(proc.pid) if before else None
    if old is None or old.started != proc.started:
        return 0.0
    rate = per_second(proc.cpu_seconds, old.cpu_seconds, seconds)
    return 0.0 if rate is None else 100.0 * rate


def state_summary(procs):
    counts = Counter(STATE_WORDS.get(p.state, "unknown") for p in procs)
    parts = ", ".join(f"{n} {state}" for state, n in sorted(counts.items(), key=lambda kv: -kv[1]))
    return f"{len(procs)} processes: {parts}"


def render_processes(reading, rows=15):
    procs = list(reading.now.values())
    share = {p.pid: cpu_share(p, reading.before, reading.seconds) for p in procs}
    t = table("PID>", "USERNAME", "THR>", "NICE>", "SIZE>", "RES>", "STATE", "C>", "TIME>", "WCPU>",
              "COMMAND")
    top = sorted(procs, key=lambda p: (share[p.pid], p.rss), reverse=True)[:rows]
    for p in top:
        t.add_row(str(p.pid), user_name(p.uid)[:10], str(p.threads), str(p.nice), size(p.vsz), size(p.rss),
                  STATE_NAMES.get(p.state, "?"), str(p.cpu), cpu_time(p.cpu_seconds), pct(share[p.pid]),
                  Text(printable(p.command), no_wrap=True, overflow="ellipsis"))
    t.columns[-1].no_wrap = False  # the command gives way when the screen is narrow
    return Group(Text(state_summary(procs)), t)


def read_self():
    pid = os.getpid()
    limits = {name: m.proc_getrlimit(pid, getattr(m, name))
              for name in ("RLIMIT_NOFILE", "RLIMIT_STACK", "RLIMIT_AS", "RLIMIT_CORE")}
    return dict(pid=pid, exe=m.proc_exe(pid), cwd=m.proc_cwd(pid),
                cmdline=m.proc_cmdline(pid), environ=len(m.proc_environ(pid)),
                threads=[tid for tid, _, _ in m.proc_threads(pid)],
                affinity=m.proc_cpu_affinity_get(pid), nice=m.proc_priority_get(pid),
                limits=limits, fds=m.proc_num_fds(pid), files=m.proc_open_files(pid),
                maps=len(m.proc_memory_maps(pid)))


def limit(value):
    return "unlimited" if value == m.RLIM_INFINITY else str(value)


def render_self(reading):
    s = reading.now
    rows = [("pid", str(s["pid"])), ("executable", s["exe"]), ("working directory", s["cwd"]),
            ("command line", " ".join(s["cmdline"])), ("environment", f"{s['environ']} variables"),
            ("threads", " ".join(map(str, s["threads"]))),
            ("CPU affinity", " ".join(map(str, s["affinity"]))), ("nice", str(s["nice"]))]
    rows += [(f"limit {name[7:].lower()}", f"{limit(soft)} / {limit(hard)}")
             for name, (soft, hard) in s["limits"].items()]
    rows += [("descriptors", f"{s['fds']}, regular files: "
                             + (", ".join(f"{fd} {path}" for path, fd in s["files"]) or "none")),
             ("memory maps", str(s["maps"]))]
    return pairs(rows)


SECTIONS = [
    Section("Processes", ("pids", "proc_oneshot_info", "proc_cmdline", "proc_num_threads", "proc_priority_get"),
            read_processes, render_processes, rates=True),
    Section("This process", ("proc_exe", "proc_cwd", "proc_environ", "proc_threads", "proc_cpu_affinity_get",
                             "proc_getrlimit", "proc_num_fds", "proc_open_files", "proc_memory_maps"),
            read_self, render_self, live=False),
]
