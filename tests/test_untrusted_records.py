"""Kernel answers that are short, corrupted or never settle: the module reads only what was
answered, never the bytes behind it, and always returns."""
import os
import struct
from pathlib import Path

import pytest

import _lumvik_bsd as m
from conftest import run_python
from records import KINFO_PROC_SIZE, kinfo_proc, kinfo_proc_field

PID = 424242  # answered through the control interface only
LONG_MAX, LONG_MIN = 2**63 - 1, -2**63
PAGE = os.sysconf("SC_PAGESIZE")


@pytest.mark.parametrize("setup, expected", [
    # A record and one byte: the buffer is sized from the probe, the partial record left out.
    ("c.answer(f'kern.proc.pid.{pid}', kinfo_proc(ki_pid=pid, ki_flag=P_INMEM) + bytes(1))", "{'A': '1'}"),
    # A table that keeps growing past its probes: a few retries, then the library gives up.
    ("c.grow(f'kern.proc.pid.{pid}', 9)", "{'A': '1'}"),
    ("c.fail_fetch(f'kern.proc.pid.{pid}', errno.ENOMEM)", "ProcessLookupError"),
])
def test_the_process_library_never_spins(setup, expected):
    # In a child of its own, so that a regression fails here rather than hanging the suite.
    code = f"""
import errno, os, sys
sys.path.insert(0, {str(Path(__file__).parent)!r})
from conftest import Control
from records import kinfo_proc
import _lumvik_bsd as m
P_INMEM = 0x10000000
c, pid = Control(), os.getpid()
{setup}
c.answer(f'kvm_getenvv.{{pid}}', b'A=1\\0')
try:
    print(m.proc_environ(pid))
except OSError as e:
    print(type(e).__name__)
"""
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == expected


@pytest.mark.parametrize("length", [0, 1, 8, 15])
def test_a_short_limit_answer_reads_as_zeros_behind_it(control, length):
    full = struct.pack("<qq", 0x0102030405060708, 0x1112131415161718)
    control.answer(f"kern.proc.rlimit.{PID}.{m.RLIMIT_NOFILE}", full[:length])
    expected = struct.unpack("<qq", full[:length].ljust(16, b"\0"))
    assert m.proc_getrlimit(PID, m.RLIMIT_NOFILE) == expected


@pytest.mark.parametrize("length", [1, 77, 268, 390, 449, 600, KINFO_PROC_SIZE - 1])
def test_a_short_process_record_reads_as_zeros_behind_it(control, length):
    record = kinfo_proc(ki_pid=PID, ki_ppid=77, ki_rssize=5, ki_stat=m.SZOMB, ki_comm=b"abcdef",
                        ki_numthreads=3)[:length]
    control.answer(f"kern.proc.pid.{PID}", record)
    field = lambda name: kinfo_proc_field(record, name)  # noqa: E731
    comm = field("ki_comm").split(b"\0")[0].decode()
    info = m.proc_oneshot_info(PID)
    assert (info[0], info[1], info[18], info[24]) == (field("ki_ppid"), field("ki_stat"), field("ki_rssize") * PAGE, comm)
    assert m.proc_name(PID) == comm
    assert m.proc_num_threads(PID) == field("ki_numthreads")
    assert m.proc_is_zombie(PID) == (field("ki_stat") == m.SZOMB)


@pytest.mark.parametrize("pages, expected", [
    (2**51, LONG_MAX), (2**62, LONG_MAX), (2**63 - 1, LONG_MAX), (-2**51, LONG_MIN), (-2**63, LONG_MIN),
    (LONG_MAX // PAGE, LONG_MAX // PAGE * PAGE), (-1, -PAGE),  # the largest exact count, and a small one
])
def test_page_counts_beyond_the_address_space_saturate(control, pages, expected):
    control.answer(f"kern.proc.pid.{PID}", kinfo_proc(ki_pid=PID, ki_rssize=pages, ki_tsize=pages,
                                                      ki_dsize=pages, ki_ssize=pages))
    info = m.proc_oneshot_info(PID)
    assert (info[18], info[20], info[21], info[22]) == (expected,) * 4
