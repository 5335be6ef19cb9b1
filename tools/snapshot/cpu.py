"""CPU: use by state over the interval, overall and per CPU, like top's CPU lines; the
kernel's event rates, clock frequencies and the scheduler's topology."""
import xml.etree.ElementTree as ET

from rich.console import Group
from rich.text import Text

import _lumvik_bsd as m

from .section import MISSING, Section, note, table
from .units import pct, per_second, percent

# The module's order of the times tuple, and the order top prints them in.
TIMES = ("user", "nice", "system", "idle", "interrupt")
SHOWN = ("user", "nice", "system", "interrupt", "idle")
EVENTS = ("context switches", "interrupts", "soft interrupts", "system calls", "traps")
U32 = 2 ** 32  # the kernel's event counters are 32 bits wide and wrap


def cpu_use(now, before=None):
    """Percent of the time in each state between two readings of a times tuple, in SHOWN
    order; since boot without an earlier reading; all zero when no time passed."""
    spent = [n - b for n, b in zip(now, before)] if before else list(now)
    by_state = dict(zip(TIMES, spent))
    total = sum(spent)
    return tuple(percent(by_state[s], total) for s in SHOWN)


def _freq(cpu):
    try:
        return m.cpu_freq(cpu)[0]
    except MISSING as exc:
        return exc


def read_cpu():
    count = m.cpu_count_logical() or 0
    return dict(count=count, total=m.cpu_times(), per_cpu=m.per_cpu_times(), stats=m.cpu_stats(),
                freqs=[_freq(cpu) for cpu in range(count)])


def event_rates(now, before, seconds):
    if before is None:
        return "events per second: measured from the next reading on"
    rates = [per_second(n, b, seconds, wrap=U32) for n, b in zip(now, before)]
    return "per second: " + ", ".join(f"{r:,.0f} {name}" for r, name in zip(rates, EVENTS))


def render_cpu(reading):
    now, before = reading.now, reading.before
    freqs = now["freqs"]
    known = [f for f in freqs if not isinstance(f, Exception)]
    t = table("CPU", *(f"{s.upper()}>" for s in SHOWN), "BUSY>", *(["MHZ>"] if known else []))
    summary = f"{now['count']} CPUs" + (f"; frequency: {freqs[0]}" if freqs and not known else "")
    summary += "\n" + event_rates(now["stats"], before and before["stats"], reading.seconds)
    old = before["per_cpu"] if before else []
    rows = [("all", now["total"], before["total"] if before else None, "")]
    rows += [(f"cpu{i}", times, old[i] if i < len(old) else None,
              str(freqs[i]) if i < len(freqs) and not isinstance(freqs[i], Exception) else "-")
             for i, times in enumerate(now["per_cpu"])]
    for name, times, earlier, mhz in rows:
        use = cpu_use(times, earlier)
        t.add_row(name, *map(pct, use), pct(100.0 - use[-1]), *([mhz] if known else []))
    return Group(Text(summary), t)


def topology_lines(xml):
    """The scheduler's CPU groups, one line each, indented by depth:
    'level 1, cache level 3: CPUs 0, 1 (SMT)'."""
    lines = []

    def walk(group, depth):
        cpus = group.find("cpu")
        flags = [f.get("name") for f in group.findall("flags/flag")]
        lines.append("  " * depth + f"level {group.get('level')}, cache level {group.get('cache-level')}: "
                     f"CPUs {cpus.text if cpus is not None else '?'}" + (f" ({', '.join(flags)})" if flags else ""))
        for child in group.findall("children/group"):
            walk(child, depth + 1)

    for group in ET.fromstring(xml).findall("group"):
        walk(group, 0)
    return lines


def render_topology(reading):
    if reading.now is None:
        return note("the kernel gives no topology")
    try:
        return Text("\n".join(topology_lines(reading.now))) if "<group" in reading.now else note("no CPU groups")
    except ET.ParseError as exc:
        return note(f"unreadable topology: {exc}")


SECTIONS = [
    Section("CPU", ("cpu_count_logical", "cpu_times", "per_cpu_times", "cpu_stats", "cpu_freq"), read_cpu,
            render_cpu, rates=True),
    Section("CPU topology", ("cpu_topology",), lambda: m.cpu_topology(), render_topology, live=False),
]
