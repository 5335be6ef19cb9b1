"""The scalar nodes FreeBSD exports for ps(1), top(1) and swapinfo(8), read through the module's
fixed-buffer query by name, against what Linux says."""
import ctypes
import os
import struct

import pytest

from conftest import LIB
from truth import read_lines, read_text


def node(name, fmt):
    size = struct.calcsize(fmt)
    buf = ctypes.create_string_buffer(size)
    assert LIB.lumvik_sysctlbyname(name.encode(), buf, size) == 0, name
    return struct.unpack(fmt, buf.raw)[0]


def mem_total_pages():
    kib = next(int(line.split()[1]) for line in read_lines("/proc/meminfo") if line.startswith("MemTotal:"))
    return kib * 1024 // os.sysconf("SC_PAGE_SIZE")


CASES = [
    ("kern.pid_max", "=i", lambda: int(read_text("/proc/sys/kernel/pid_max"))),
    ("kern.fscale", "=i", lambda: 2048),  # FSCALE, 1 << FSHIFT
    ("kern.ccpu", "=I", lambda: 1948),  # exp(-1/20) in FSCALE units, truncated
    ("hw.availpages", "=q", mem_total_pages),
    ("vm.nswapdev", "=i", lambda: len(read_lines("/proc/swaps")) - 1),
]


@pytest.mark.parametrize("name, fmt, truth", CASES, ids=[c[0] for c in CASES])
def test_scalar_node_says_what_linux_says(name, fmt, truth):
    assert node(name, fmt) == truth()
