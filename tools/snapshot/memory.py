"""Memory, swap and this process's allocator, like top's Mem and Swap lines."""
import _lumvik_bsd as m

from .section import Absent, Section, pairs, table
from .units import per_second, percent, pct, size

U32 = 2 ** 32


def read_memory():
    total, free, active, inactive, wired, cached, buffers, shared = m.virtual_mem()
    return dict(total=total, free=free, active=active, inactive=inactive, wired=wired, cached=cached,
                buffers=buffers, shared=shared)


def available(mem):
    """What can be had without swapping: free pages, and inactive and cached ones to reclaim."""
    return mem["free"] + mem["inactive"] + mem["cached"]


def render_memory(reading):
    mem = reading.now
    t = table("TOTAL>", "ACTIVE>", "INACT>", "WIRED>", "CACHED>", "BUF>", "SHARED>", "FREE>", "AVAIL>", "USED>")
    avail = available(mem)
    t.add_row(*(size(mem[k]) for k in ("total", "active", "inactive", "wired", "cached", "buffers", "shared",
                                        "free")), size(avail), pct(percent(mem["total"] - avail, mem["total"])))
    return t


def read_swap():
    total, used, free, swap_pages, vnode_pages = m.swap_mem()
    return dict(total=total, used=used, free=free, swap_pages=swap_pages, vnode_pages=vnode_pages)


def render_swap(reading):
    now, before, seconds = reading.now, reading.before, reading.seconds
    rates = [per_second(now[k], before[k] if before else None, seconds, wrap=U32) for k in ("swap_pages", "vnode_pages")]
    paging = ", ".join(f"{label} {'-' if r is None else f'{r:.1f}'} pages/s"
                       for label, r in zip(("swap pager in+out", "vnode pager in+out"), rates))
    rows = [("swap", "no swap device" if now["total"] == 0 else
             f"{size(now['total'])} total, {size(now['used'])} used, {size(now['free'])} free "
             f"({pct(percent(now['used'], now['total'])).strip()} used)"),
            ("paging", paging)]
    return pairs(rows)


def read_heap():
    allocated, mapped = m.heap_info()
    return dict(allocated=allocated, mapped=mapped)


def render_heap(reading):
    h = reading.now
    return pairs([("this process", f"{size(h['allocated'])} allocated, {size(h['mapped'])} mapped from the system")])


SECTIONS = [
    Section("Memory", ("virtual_mem",), read_memory, render_memory),
    Section("Swap", ("swap_mem",), read_swap, render_swap, rates=True),
    Section("Allocator", ("heap_info",), read_heap, render_heap, live=False),
]
