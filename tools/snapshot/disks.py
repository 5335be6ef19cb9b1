"""Mounted file systems like df -h, with their options; device counters like iostat."""
import os
import threading

import _lumvik_bsd as m

from .section import Section, table
from .units import pct, per_second, percent, size

# A file system that does not answer (a lost NFS server) must not hold up the view.
USAGE_TIMEOUT = 1.0


def usage(path):
    """(total, used, available) bytes of the file system at path, None when it cannot say."""
    result = []

    def ask():
        try:
            st = os.statvfs(path)
            result.append((st.f_blocks * st.f_frsize, (st.f_blocks - st.f_bfree) * st.f_frsize,
                           st.f_bavail * st.f_frsize))
        except OSError:
            pass

    worker = threading.Thread(target=ask, daemon=True)
    worker.start()
    worker.join(USAGE_TIMEOUT)
    return result[0] if result else None


def read_mounts():
    return [(device, mountpoint, fstype, options, usage(mountpoint))
            for device, mountpoint, fstype, options in m.disk_partitions()]


def render_mounts(reading):
    t = table("FILESYSTEM", "TYPE", "SIZE>", "USED>", "AVAIL>", "CAPACITY>", "MOUNTED ON", "OPTIONS")
    hidden = 0
    for device, mountpoint, fstype, options, use in reading.now:
        if use is None:  # no answer in time, or none at all
            t.add_row(device, fstype, "-", "-", "-", "-", mountpoint, options)
            continue
        if use[0] == 0:
            hidden += 1  # like df without -a: pseudo file systems without blocks
            continue
        total, used, avail = use
        t.add_row(device, fstype, size(total), size(used), size(avail),
                  f"{percent(used, used + avail):.0f}%", mountpoint, options)
    if hidden:
        t.caption = f"{hidden} more without blocks (proc, sysfs, ...) not shown"
    return t


def read_disk_io():
    return m.disk_io_counters()


def io_rates(now, old, seconds):
    """Operations and bytes per second, milliseconds per operation and percent busy between two
    readings of a device; None without an earlier reading or when a counter went backwards."""
    if old is None:
        return None
    rates = [per_second(n, o, seconds) for n, o in zip(now, old)]
    if None in rates:
        return None
    reads, writes, rbytes, wbytes, read_ms, write_ms, busy_ms = rates
    return dict(reads=reads, writes=writes, rbytes=rbytes, wbytes=wbytes,
                ms_read=read_ms / reads if reads else 0.0, ms_write=write_ms / writes if writes else 0.0,
                busy=min(100.0, busy_ms / 10))  # busy milliseconds per second, as a percent


def render_disk_io(reading):
    before = reading.before or {}
    t = table("DEVICE", "R/S>", "W/S>", "READ/S>", "WRITE/S>", "MS/R>", "MS/W>", "BUSY>", "READS>", "WRITES>",
              "READ>", "WRITTEN>")
    idle = 0
    for name, counters in sorted(reading.now.items()):
        if not any(counters):
            idle += 1  # a device that never did any I/O (an unused loop device) says nothing
            continue
        r = io_rates(counters, before.get(name), reading.seconds)
        live = ("-",) * 7 if r is None else (
            f"{r['reads']:.1f}", f"{r['writes']:.1f}", f"{size(r['rbytes'])}/s", f"{size(r['wbytes'])}/s",
            f"{r['ms_read']:.1f}", f"{r['ms_write']:.1f}", pct(r["busy"]))
        reads, writes, rbytes, wbytes = counters[:4]
        t.add_row(name, *live, str(reads), str(writes), size(rbytes), size(wbytes))
    if idle:
        t.caption = f"{idle} more without any I/O since boot not shown"
    return t


SECTIONS = [
    Section("Mounts", ("disk_partitions",), read_mounts, render_mounts, live=False),
    Section("Disk I/O", ("disk_io_counters",), read_disk_io, render_disk_io, rates=True),
]
