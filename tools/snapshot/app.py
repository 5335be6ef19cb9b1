"""Reads the sections the module can answer, once or again and again, and draws them."""
import os
import socket
import statistics
import sys
import time
from dataclasses import replace
from functools import partial

from rich.console import Console, Group
from rich.live import Live
from rich.segment import SegmentLines
from rich.text import Text

import _lumvik_bsd as m

from . import connections, cpu, disks, memory, network, processes, sensors
from .section import MISSING, Reading, note, pairs
from .units import duration

# The order of the snapshot; the refreshing view keeps it but puts the processes last, as top
# does, so that they take what is left of the screen.
SECTIONS = [*cpu.SECTIONS, *memory.SECTIONS, *disks.SECTIONS, *sensors.SECTIONS, *processes.SECTIONS,
            *network.SECTIONS, *connections.SECTIONS]


def present(sections=SECTIONS, module=m):
    return [s for s in sections if s.present(module)]


def read(sections):
    """Each section's reading (or the exception it raised) and the milliseconds it took."""
    values, costs = {}, {}
    for s in sections:
        start = time.perf_counter()
        try:
            values[s.heading] = s.read()
        except Exception as exc:  # drawn as a note: one failing section never ends the view
            values[s.heading] = exc
        costs[s.heading] = 1000 * (time.perf_counter() - start)
    return values, costs


def body(section, now, before, seconds):
    value = now[section.heading]
    if isinstance(value, MISSING):
        return note(f"not on this machine: {value}")
    if isinstance(value, Exception):
        return note(f"this section failed: {type(value).__name__}: {value}")
    old = before.get(section.heading) if before else None
    try:
        return section.render(Reading(value, None if isinstance(old, Exception) else old, seconds))
    except Exception as exc:
        return note(f"this section failed to draw: {type(exc).__name__}: {exc}")


def frame(sections, now, before, seconds, header):
    parts = [header] if header is not None else []
    for s in sections:
        parts += [Text(""), Text(s.heading, style="bold cyan"), body(s, now, before, seconds)]
    return Group(*parts)


def header(extra=""):
    now = time.time()
    words = [socket.gethostname(), time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(now))]
    if hasattr(m, "boot_time"):
        words.append(f"up {duration(now - m.boot_time())}")
    words += [f"_lumvik_bsd {m.version}, page size {m.getpagesize()}", extra]
    return Text("  ".join(w for w in words if w), style="bold")


def timings(costs, draw_ms):
    rows = [(heading, f"{ms:7.1f} ms") for heading, ms in costs.items()]
    rows += [("reading, all sections", f"{sum(costs.values()):7.1f} ms"), ("drawing", f"{draw_ms:7.1f} ms")]
    return Group(Text(""), Text("What this reading cost", style="bold cyan"), pairs(rows))


def refresh_cost(repeats=7):
    """Median milliseconds of one refresh of the live view: each section's reading, and the
    drawing of the whole frame on a 160 by 50 screen."""
    sections = live_sections()
    screen = Console(file=open(os.devnull, "w"), width=160, height=50, color_system="truecolor", **PLAIN)
    before, _ = read(sections)
    samples = []
    for _ in range(repeats):
        now, costs = read(sections)
        start = time.perf_counter()
        screen.print(live_frame(screen, sections, now, before, 1.0, header()))
        samples.append((costs, 1000 * (time.perf_counter() - start)))
        before = now
    reads = {h: statistics.median(c[h] for c, _ in samples) for h in samples[0][0]}
    return reads, statistics.median(d for _, d in samples)


# What the machine says is shown as it is: a command like "[kthreadd]" is no markup, and
# nothing is coloured by guessing.
PLAIN = dict(markup=False, emoji=False, highlight=False)


def console():
    """Plain text when the output is not a terminal, wide enough for the tables."""
    out = Console(**PLAIN)
    if not out.is_terminal and "COLUMNS" not in os.environ:
        out = Console(width=160, **PLAIN)
    return out


def snapshot(out, interval, show_costs):
    sections = present()
    first, _ = read([s for s in sections if s.rates])
    start = time.monotonic()
    time.sleep(interval)  # CPU use and rates over this short interval
    now, costs = read(sections)
    seconds = time.monotonic() - start
    drawn = time.perf_counter()
    out.print(frame(sections, now, first, seconds, header()))
    draw_ms = 1000 * (time.perf_counter() - drawn)
    if show_costs:
        out.print(timings(costs, draw_ms))


def live_sections():
    """The sections of the refreshing view: the processes last, as top has them."""
    shown = [s for s in present() if s.live]
    return sorted(shown, key=lambda s: s.render is processes.render_processes)


def live_frame(out, sections, now, before, seconds, head):
    """The frame with as many processes as the screen has lines left for."""
    rest = [s for s in sections if s.render is not processes.render_processes]
    top = out.render_lines(frame(rest, now, before, seconds, head), out.options, pad=False)
    room = out.height - 6  # a blank line, heading, summary, column names, rule
    top = top[:max(0, room - 3)]  # the processes keep three rows however much else the machine shows
    rows = room - len(top)
    fitted = [replace(s, render=partial(s.render, rows=rows)) for s in sections if s not in rest]
    return Group(SegmentLines(top, new_lines=True), frame(fitted, now, before, seconds, None))  # drawn once


def live(out, interval, warmup):
    sections = live_sections()
    before, _ = read(sections)
    last = time.monotonic()
    with Live(console=out, screen=True, auto_refresh=False, vertical_overflow="crop") as view:
        wait = warmup
        while True:
            time.sleep(wait)
            wait = interval
            now, costs = read(sections)
            stamp = time.monotonic()
            cost = f"refresh every {interval:g} s, reading took {sum(costs.values()):.0f} ms; Ctrl-C ends"
            view.update(live_frame(out, sections, now, before, stamp - last, header(cost)), refresh=True)
            before, last = now, stamp


def main(args):
    out = console()
    try:
        if args.live and out.is_terminal:
            live(out, args.interval, args.warmup)
        else:
            if args.live:
                print("demo: --live needs a terminal; printing one snapshot instead", file=sys.stderr)
            snapshot(out, args.warmup, args.timings)
    except KeyboardInterrupt:
        return 0
    return 0
