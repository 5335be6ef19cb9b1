"""Boot time, battery, CPU temperature and logged-in users, against /proc/stat, the power
supply class and utmp files the tests write, and through the control interface."""
import ctypes
import errno
import os
import struct
import threading

import pytest

import _lumvik_bsd as m
from conftest import LIB
from truth import read_bytes, read_lines, read_text

BOOT_TIME, USER_PROCESS, LOGIN_PROCESS, DEAD_PROCESS = 2, 7, 6, 8  # Linux's numbering in its utmp file


def btime():
    return next(int(line.split()[1]) for line in read_lines("/proc/stat") if line.startswith("btime "))


def test_boot_time_is_the_kernels_btime():
    booted = m.boot_time("ignored")
    assert isinstance(booted, float) and booted.is_integer()
    assert booted == btime()


def test_boot_time_failure(control):
    control.fail("kern.boottime", errno.EPERM)
    with pytest.raises(PermissionError):
        m.boot_time()


# --- battery ----------------------------------------------------------------------------------

def has_battery():
    root = "/sys/class/power_supply"
    names = os.listdir(root) if os.path.isdir(root) else []
    return any(read_text(f"{root}/{n}/type").strip() == "Battery" for n in names)


def test_battery_as_the_host_has_it():
    if has_battery():
        life, minutes, acline = m.sensors_battery()
        assert 0 <= life <= 100 and minutes >= -1 and acline in (0, 1)
    else:
        with pytest.raises(NotImplementedError, match="^no battery$"):
            m.sensors_battery()


BATTERY_NODES = ("hw.acpi.battery.life", "hw.acpi.battery.time", "hw.acpi.acline")


@pytest.mark.parametrize("state", [(87, 95, 0), (100, -1, 1), (5, 3, 0)])
def test_battery_states(control, state):
    for node, value in zip(BATTERY_NODES, state):
        control.answer(node, struct.pack("<i", value))
    assert m.sensors_battery() == state


@pytest.mark.parametrize("node", BATTERY_NODES)
@pytest.mark.parametrize("err, raised", [(errno.ENOENT, NotImplementedError), (errno.EIO, OSError)])
def test_battery_missing_or_failing(control, node, err, raised):
    for other in BATTERY_NODES:
        control.answer(other, struct.pack("<i", 1))
    control.fail(node, err)
    with pytest.raises(raised) as info:
        m.sensors_battery()
    if raised is NotImplementedError:
        assert str(info.value) == "no battery"
    else:
        assert info.value.errno == err


# --- CPU temperature --------------------------------------------------------------------------

def has_cpu_sensors():
    return any(os.path.isdir(d) and os.listdir(d) for d in ("/sys/class/hwmon", "/sys/class/thermal"))


def test_cpu_temperature_as_the_host_has_it():
    if has_cpu_sensors():
        pytest.skip("this host's sensors are checked by the personality's own tests")
    with pytest.raises(NotImplementedError, match="^no temperature sensors$"):
        m.sensors_cpu_temperature(0)


@pytest.mark.parametrize("cpu, current, tjmax, expected", [
    (0, 3231, 3731, (50, 100)),
    (1, 3230, 3730, (49, 99)),  # truncated
    (0, 2700, 2731, (-3, 0)),  # toward zero
    (0, 0, None, (-273, -273)),  # no limit node: as a reading of 0
    (123, 3000, 3500, (26, 76)),  # a long CPU number reads its own limit
    (0, -2147483648, 2147483647, (-214748637, 214748091)),  # no overflow on the way
])
def test_cpu_temperature_in_celsius(control, cpu, current, tjmax, expected):
    control.answer(f"dev.cpu.{cpu}.temperature", struct.pack("<i", current))
    if tjmax is None:
        control.fail(f"dev.cpu.{cpu}.coretemp.tjmax", errno.ENOENT)
    else:
        control.answer(f"dev.cpu.{cpu}.coretemp.tjmax", struct.pack("<i", tjmax))
    assert m.sensors_cpu_temperature(cpu) == expected


@pytest.mark.parametrize("err, raised", [(errno.ENOENT, NotImplementedError), (errno.EIO, OSError)])
def test_cpu_temperature_missing_or_failing(control, err, raised):
    control.fail("dev.cpu.2.temperature", err)
    with pytest.raises(raised) as info:
        m.sensors_cpu_temperature(2)
    if raised is NotImplementedError:
        assert str(info.value) == "no temperature sensors"
    else:
        assert info.value.errno == err


# --- users ------------------------------------------------------------------------------------

def utmp_record(type_, user=b"", line=b"", host=b"", pid=0, sec=0):
    """One record of Linux's utmp file (384 bytes)."""
    return struct.pack("<h2xi32s4s32s256s4xi2i16x20x", type_, pid, line, line[-4:], user, host, 0, sec, 0)


@pytest.fixture
def utmp_file(control, tmp_path):
    """Points the database at a file of the test's own; returns a writer of records."""
    path = tmp_path / "utmp"
    path.write_bytes(b"")
    control.answer("utmpx", os.fsencode(path))
    return lambda *records: path.write_bytes(b"".join(records))


@pytest.mark.parametrize("host, shown", [
    (b"", "localhost"),
    (b":0", "localhost"),
    (b":0.0", "localhost"),
    (b":01", ":01"),
    (b":1", ":1"),
    (b"10.0.0.7", "10.0.0.7"),
    (b"h" * 127, "h" * 127),  # FreeBSD's longest host: its field full with the NUL
    (b"x" * 200, "x" * 127),  # longer: cut to one byte short of the field
])
def test_users_hosts(utmp_file, host, shown):
    utmp_file(utmp_record(USER_PROCESS, b"alice", b"pts/3", host, pid=4242, sec=1700000000))
    assert m.users() == [("alice", "pts/3", shown, 1700000000.0, 4242)]


def test_users_only_user_processes_in_database_order(utmp_file):
    utmp_file(utmp_record(BOOT_TIME, b"reboot", b"~", b"6.1.0-kernel", sec=4),
              utmp_record(LOGIN_PROCESS, b"LOGIN", b"tty1", pid=10),
              utmp_record(USER_PROCESS, b"bob", b"tty2", pid=11, sec=5),
              utmp_record(DEAD_PROCESS, b"", b"pts/1", pid=12),
              utmp_record(USER_PROCESS, b"b" * 32, b"pts/1234567890123456", b"example.org", pid=13, sec=6))
    # FreeBSD's texts end one byte short of their fields: 31 for a user, 15 for a line.
    assert m.users() == [("bob", "tty2", "localhost", 5.0, 11),
                         ("b" * 31, "pts/12345678901", "example.org", 6.0, 13)]
    utmp_file()
    assert m.users() == []


def test_users_from_two_threads_at_once(utmp_file):
    records = [utmp_record(USER_PROCESS, b"u%d" % i, b"pts/%d" % i, b"", pid=i, sec=i) for i in range(300)]
    utmp_file(*records)
    expected = m.users()
    assert len(expected) == 300
    start = threading.Barrier(2)
    results = [None, None]

    def walk(i):
        start.wait()
        results[i] = [m.users() for _ in range(20)]

    threads = [threading.Thread(target=walk, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(r == expected for walks in results for r in walks)
    assert ctypes.c_uint8.in_dll(LIB, "utxent_lock").value == 0  # the exported lock, left unlocked


def test_users_of_the_host():
    path = "/var/run/utmp"
    data = read_bytes(path) if os.path.exists(path) else b""
    expected = []
    for at in range(0, len(data) - 383, 384):
        type_, pid, line, _, user, host = struct.unpack_from("<h2xi32s4s32s256s", data, at)
        sec = struct.unpack_from("<i", data, at + 340)[0]
        if type_ == USER_PROCESS:
            text = lambda b: os.fsdecode(b.split(b"\0")[0])
            shown = text(host[:128]) if text(host) not in ("", ":0", ":0.0") else "localhost"
            expected.append((text(user), text(line[:16]), shown, float(sec), pid))
    assert m.users() == expected
