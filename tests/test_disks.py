"""Mounted file systems and per-device I/O counters, against the mount table and
/proc/diskstats, and through the control interface for what the host cannot show."""
import errno
import json
import os
import re
import struct
import subprocess
import sys
import threading

import pytest

import _lumvik_bsd as m
from conftest import HAS_PERSONALITY
from truth import read_lines

STATFS_SIZE, DEVSTAT_SIZE = 2344, 288


def statfs(flags=0, fstype=b"ufs", source=b"/dev/ada0p2", mount_point=b"/"):
    record = bytearray(STATFS_SIZE)
    struct.pack_into("<Q", record, 8, flags)
    record[280:280 + len(fstype)] = fstype
    record[296:296 + len(source)] = source
    record[1320:1320 + len(mount_point)] = mount_point
    return bytes(record)


def devstat(name=b"ada", unit=0, ops=(0, 0), nbytes=(0, 0), read_time=(0, 0), write_time=(0, 0), busy=(0, 0)):
    record = bytearray(DEVSTAT_SIZE)
    record[44:44 + len(name)] = name
    struct.pack_into("<i", record, 60, unit)
    struct.pack_into("<QQ", record, 72, *nbytes)
    struct.pack_into("<QQ", record, 104, *ops)
    struct.pack_into("<qQqQ", record, 144, *read_time, *write_time)
    struct.pack_into("<qQ", record, 192, *busy)
    return bytes(record)


def device_list(*records, generation=7):
    return struct.pack("<q", generation) + b"".join(records)


def unescape(field):
    return re.sub(r"\\([0-7]{3})", lambda g: chr(int(g.group(1), 8)), field)


def mountinfo():
    """(source, mount point, type) of every mount, in the kernel's order."""
    rows = []
    for line in read_lines("/proc/self/mountinfo"):
        before, after = line.split(" - ", 1)
        fstype, source = after.split()[:2]
        rows.append((unescape(source), unescape(before.split()[4]), fstype))
    return rows


# --- disk_partitions --------------------------------------------------------------------------

PRIVATE_MOUNT = """
import json, subprocess, sys
import _lumvik_bsd as m
target, options = sys.argv[1], sys.argv[2]
subprocess.run(["mount", "-t", "tmpfs", "-o", options, "lumvik-test", target], check=True)
print(json.dumps({"partitions": m.disk_partitions(), "mountinfo": open("/proc/self/mountinfo").read()}))
"""


@pytest.mark.parametrize("options, words", [
    ("rw", "rw"),
    ("ro,noexec,nosuid", "ro,noexec,nosuid"),
    ("rw,sync,noatime,nosymfollow", "rw,sync,noatime,nosymfollow"),
])
def test_partitions_in_a_private_mount_namespace(tmp_path, options, words):
    # The child's mounts vanish with its namespace; the machine's own are never touched.
    target = tmp_path / "mount point"  # mountinfo escapes the space
    target.mkdir()
    done = subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable, "-c", PRIVATE_MOUNT,
                           str(target), options], capture_output=True, text=True, timeout=60)
    if done.returncode != 0 and "unshare" in done.stderr and "Operation not permitted" in done.stderr:
        pytest.skip("no permission for a private mount namespace")
    assert done.returncode == 0, done.stderr
    seen = json.loads(done.stdout)
    partitions = [tuple(p) for p in seen["partitions"]]
    assert ("lumvik-test", str(target), "tmpfs", words) in partitions
    truth = []
    for line in seen["mountinfo"].splitlines():
        before, after = line.split(" - ", 1)
        truth.append((unescape(after.split()[1]), unescape(before.split()[4]), after.split()[0]))
    assert [p[:3] for p in partitions] == truth
    assert (str(target), "tmpfs") not in [(p[1], p[2]) for p in m.disk_partitions()]


def during_a_still_mount_table(call):
    """call()'s result and the mount table, from a moment when the table did not change."""
    for _ in range(20):
        before = mountinfo()
        result = call()
        if mountinfo() == before:
            return result, before
    pytest.fail("the mount table kept changing")


def test_partitions_are_the_mount_table():
    partitions, table = during_a_still_mount_table(m.disk_partitions)
    assert [p[:3] for p in partitions] == table
    assert all(p[3].split(",")[0] in ("ro", "rw") for p in partitions)
    root = next(p for p in partitions if p[1] == "/")
    assert root[3].startswith("ro" if os.statvfs("/").f_flag & os.ST_RDONLY else "rw")


def test_partitions_from_many_threads():
    # The thread state is released around the kernel reads: threads overlap there.
    def from_four_threads():
        results, start = [], threading.Barrier(4)

        def walk():
            start.wait()
            results.extend([p[:3] for p in m.disk_partitions()] for _ in range(25))

        threads = [threading.Thread(target=walk) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return results

    results, table = during_a_still_mount_table(from_four_threads)
    assert results == [table] * 100


ALL_WORDS = ",sync,noexec,nosuid,async,noatime,softdep,union,suiddir,nosymfollow,gjournal,multilabel,acls," \
            "noclusterr,noclusterw,nfs4acls"


@pytest.mark.parametrize("flags, text", [
    (1 << 0, "ro"),
    ((1 << 28) | (1 << 6), "rw,async,noatime"),  # table order, not bit order
    (1 << 31, "rw,noclusterw"),
    ((1 << 32) | (1 << 45) | (1 << 12) | (1 << 14), "rw"),  # no words for these
    ((1 << 64) - 1, "ro" + ALL_WORDS),
    ((1 << 4) | (1 << 1), "rw,sync,nfs4acls"),
])
def test_option_words(control, flags, text):
    control.answer("getfsstat", statfs(flags))
    assert m.disk_partitions() == [("/dev/ada0p2", "/", "ufs", text)]


def test_partition_names_and_empty_table(control):
    full = b"x" * 1024  # a field without its NUL is read up to its end, no further
    control.answer("getfsstat", statfs(source=full, mount_point=b"/mnt/\xff", fstype=b"t" * 16)
                   + statfs(fstype=b"zfs", source=b"tank"))
    assert m.disk_partitions("ignored") == [
        ("x" * 1024, os.fsdecode(b"/mnt/\xff"), "t" * 16, "rw"), ("tank", "/", "zfs", "rw")]
    control.answer("getfsstat", b"")
    assert m.disk_partitions() == []


@pytest.mark.parametrize("fail", ["fail", "fail_fetch"])
def test_partitions_failure_is_oserror(control, fail):
    getattr(control, fail)("getfsstat", errno.EIO)
    with pytest.raises(OSError) as info:
        m.disk_partitions()
    assert info.value.errno == errno.EIO


# --- disk_io_counters -------------------------------------------------------------------------

LETTER_DISKS = ("xvd", "sd", "vd", "hd")


def device_key(name):
    """The FreeBSD name of a Linux block device: driver and unit."""
    if re.search(r"\d$", name):
        return name
    for driver in LETTER_DISKS:
        letters = name[len(driver):]
        if name.startswith(driver) and re.fullmatch("[a-z]+", letters):
            unit = 0
            for c in letters:
                unit = unit * 26 + ord(c) - ord("a") + 1
            return f"{driver}{unit - 1}"
    return name + "0"


def diskstats():
    return {device_key(fields[2]): [int(x) for x in fields[3:]]
            for fields in map(str.split, read_lines("/proc/diskstats"))}


@pytest.mark.skipif(not HAS_PERSONALITY, reason="Linux device names")
def test_io_counters_are_the_diskstats():
    for _ in range(20):  # a moment when no device came or went
        before = diskstats()
        counters = m.disk_io_counters()
        after = diskstats()
        if before.keys() == after.keys():
            break
    assert counters.keys() == before.keys()
    for key, got in counters.items():
        low, high = before[key], after[key]
        # reads, writes, bytes read and written, read, write and busy milliseconds
        picks = [(0, 1), (4, 1), (2, 512), (6, 512), (3, 1), (7, 1), (9, 1)]
        for value, (field, scale) in zip(got, picks):
            assert low[field] * scale <= value <= high[field] * scale, key


@pytest.mark.parametrize("read_time, write_time, busy, ms", [
    ((2, 1 << 63), (0, (1 << 64) - 1), (1, 0), (2500, 999, 1000)),
    ((0, 0), (0, 1 << 32), (3600, 1 << 62), (0, 0, 3600250)),
])
def test_bintimes_become_whole_milliseconds(control, read_time, write_time, busy, ms):
    control.answer("kern.devstat.all", device_list(
        devstat(ops=(5, 6), nbytes=(1 << 40, 7), read_time=read_time, write_time=write_time, busy=busy)))
    assert m.disk_io_counters() == {"ada0": (5, 6, 1 << 40, 7, *ms)}


def test_repeated_device_keys_keep_the_last(control):
    control.answer("kern.devstat.all", device_list(
        devstat(b"da", 1, ops=(1, 1)), devstat(b"cd", 0), devstat(b"da", 1, ops=(2, 2)), devstat(b"d" * 16, 12)))
    assert m.disk_io_counters("ignored") == {"da1": (2, 2, 0, 0, 0, 0, 0), "cd0": (0,) * 7, "d" * 16 + "12": (0,) * 7}
    control.answer("kern.devstat.all", device_list())
    assert m.disk_io_counters() == {}
    control.answer("kern.devstat.all", device_list(*(devstat(b"da", unit) for unit in range(100))))
    assert list(m.disk_io_counters()) == [f"da{unit}" for unit in range(100)]  # more than the first guess


@pytest.mark.parametrize("node, how, message", [
    ("kern.devstat.version", ("fail", errno.EIO), "devstat_checkversion() syscall failed"),
    ("kern.devstat.version", ("answer", struct.pack("<i", 5)), "devstat_checkversion() syscall failed"),
    ("kern.devstat.all", ("fail", errno.EIO), "devstat_getdevs() syscall failed"),
    ("kern.devstat.all", ("grow", 1000), "devstat_getdevs() syscall failed"),
])
def test_device_statistics_failures(control, node, how, message):
    getattr(control, how[0])(node, how[1])
    with pytest.raises(RuntimeError, match=re.escape(message)):
        m.disk_io_counters()
