"""CPU metrics: against /proc/stat and sysfs, and through the control interface for what the
host cannot show (tick order, missing nodes, long frequency levels)."""
import errno
import os
import struct
import xml.etree.ElementTree as ET

import pytest

import _lumvik_bsd as m
from conftest import debug_lines
from truth import read_lines, read_text

TICK = 1 / 128
UNIT = "lumvik-debug [arch/freebsd/cpu:{}]> "
HZ = os.sysconf("SC_CLK_TCK")


def proc_stat():
    """{"cpu": (user, nice, system, idle, irq), "cpu0": ..., "ctxt": n, ...} in FreeBSD ticks."""
    out = {}
    for line in read_lines("/proc/stat"):
        name, *fields = line.split()
        values = [int(v) for v in fields]
        if name.startswith("cpu"):
            user, nice, system, idle, iowait, irq, softirq = values[:7]
            out[name] = tuple(v * 128 // HZ for v in (user, nice, system, idle + iowait, irq + softirq))
        elif values:
            out[name] = values[0]
    return out


def longs(*values):
    return struct.pack(f"{len(values)}l", *values)


def test_times_lie_between_two_reads_of_proc_stat():
    before = proc_stat()
    whole, per_cpu = m.cpu_times(), m.per_cpu_times()
    after = proc_stat()
    cpus = sorted((k for k in before if k[3:].isdigit()), key=lambda k: int(k[3:]))
    assert len(per_cpu) == len(cpus) == m.cpu_count_logical() == os.cpu_count()
    for name, times in [("cpu", whole)] + list(zip(cpus, per_cpu)):
        for slot, seconds in enumerate(times):
            assert before[name][slot] * TICK <= seconds <= after[name][slot] * TICK, (name, slot)


@pytest.mark.parametrize("ticks, expected", [
    ((128, 0, 256, 640, 64), (1.0, 0.0, 2.0, 0.5, 5.0)),  # idle is the fifth counter, irq the fourth
    ((1, 1, 1, 1, 1), (TICK,) * 5),
    ((2**53, 0, 0, 0, 0), (2.0**46, 0.0, 0.0, 0.0, 0.0)),
])
def test_tick_order_and_scale(control, ticks, expected):
    control.answer("kern.cp_time", longs(*ticks))
    control.answer("hw.ncpu", struct.pack("i", 2))
    control.answer("kern.cp_times", longs(*ticks, *ticks))
    assert m.cpu_times() == expected
    assert m.per_cpu_times() == [expected, expected]


@pytest.mark.parametrize("ncpu, rows, exc, text", [
    (0, 1, RuntimeError, "lumvik_sysctlbyname() invalid args passed to function"),
    (2, 3, OSError, "(originated from sysctlbyname('kern.cp_times'))"),  # the table outgrows the count
    (-1, 1, MemoryError, ""),
])
def test_per_cpu_times_refuses_a_count_that_does_not_fit(control, ncpu, rows, exc, text):
    control.answer("hw.ncpu", struct.pack("i", ncpu))
    control.answer("kern.cp_times", longs(*range(5 * rows)))
    with pytest.raises(exc) as info:
        m.per_cpu_times()
    assert text in str(info.value)


def test_count_is_none_when_the_kernel_refuses(control):
    control.fail("hw.ncpu", errno.EPERM)
    assert m.cpu_count_logical() is None


def test_topology_covers_the_online_cpus():
    online = []
    for part in read_text("/sys/devices/system/cpu/online").strip().split(","):
        first, _, last = part.partition("-")
        online += range(int(first), int(last or first) + 1)
    root = ET.fromstring(m.cpu_topology()).find("group")
    assert [int(c) for c in root.find("cpu").text.split(", ")] == online
    assert int(root.find("cpu").get("count")) == len(online)
    for group in root.iter("group"):  # every child's CPUs are its parent's
        for child in group.findall("children/group"):
            assert set(child.find("cpu").text.split(", ")) <= set(group.find("cpu").text.split(", "))


@pytest.mark.parametrize("setup, expected", [
    (lambda c: c.fail("kern.sched.topology_spec", errno.ENOENT), None),
    (lambda c: c.answer("kern.sched.topology_spec", b"<groups/>"), "<groups/>"),  # no NUL: read no further
    (lambda c: c.answer("kern.sched.topology_spec", b""), ""),
    (lambda c: c.answer("kern.sched.topology_spec", b"<a/>\0<b/>"), "<a/>"),
])
def test_topology_text_and_its_absence(control, capfd, setup, expected):
    setup(control)
    with debug_lines(True):
        assert m.cpu_topology() == expected
    line = UNIT.format(101) + "ignore sysctlbyname('kern.sched.topology_spec') error\n"
    assert (line in capfd.readouterr().err) == (expected is None)


def test_stats_lie_between_two_reads_of_the_host():
    def host():
        stat = proc_stat()
        faults = next(int(line.split()[1]) for line in read_lines("/proc/vmstat") if line.startswith("pgfault "))
        return [stat["ctxt"], stat["intr"], stat["softirq"], 0, faults]

    before = host()
    stats = m.cpu_stats()
    after = host()
    for low, value, high in zip(before, stats, after):
        assert low % 2**32 <= value <= high % 2**32 or high % 2**32 < low % 2**32


def test_stats_slot_order(control):
    names = ["v_swtch", "v_intr", "v_soft", "v_syscall", "v_trap"]
    for value, name in enumerate(names, start=1):
        control.answer(f"vm.stats.sys.{name}", struct.pack("I", value))
    assert m.cpu_stats() == (1, 2, 3, 4, 5)
    control.fail("vm.stats.sys.v_trap", errno.EPERM)
    with pytest.raises(PermissionError, match=r"sysctlbyname\('vm.stats.sys.v_trap'\)"):
        m.cpu_stats()


def test_frequency_is_the_hosts_or_absent():
    path = "/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq"
    if not os.path.exists(path):
        with pytest.raises(NotImplementedError, match="^unable to read frequency$"):
            m.cpu_freq(0)
        return
    mhz, levels = m.cpu_freq(0)
    assert abs(mhz - int(read_text(path)) // 1000) < 1000  # the clock moves between the reads
    assert all(int(level.split("/")[0]) > 0 for level in levels.split())


LEVELS = b"2400/-1 1600/-1 800/-1\0"


@pytest.mark.parametrize("levels, expected, debug_line", [
    (LEVELS, "2400/-1 1600/-1 800/-1", False),
    (errno.ENOENT, "", True),  # a CPU with a frequency but no levels
    (b"1/-1 " * 400 + b"\0", "", True),  # longer than the buffer: the read fails
    (b"9" * 1000, "9" * 999, False),  # no NUL: the text ends with the buffer
])
def test_frequency_levels(control, capfd, levels, expected, debug_line):
    control.answer("dev.cpu.N.freq", struct.pack("i", 2400))
    if isinstance(levels, int):
        control.fail("dev.cpu.3.freq_levels", levels)
    else:
        control.answer("dev.cpu.3.freq_levels", levels)
    with debug_lines(True):
        assert m.cpu_freq(3) == (2400, expected)
    line = UNIT.format(168) + "cpu freq levels failed (ignored)\n"
    assert (line in capfd.readouterr().err) == debug_line


@pytest.mark.parametrize("err, exc, text", [
    (errno.ENOENT, NotImplementedError, "unable to read frequency"),
    (errno.EPERM, PermissionError, os.strerror(errno.EPERM)),
])
def test_frequency_failures(control, err, exc, text):
    control.fail("dev.cpu.1.freq", err)
    with pytest.raises(exc) as info:
        m.cpu_freq(1)
    assert text in str(info.value)
