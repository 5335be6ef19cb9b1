"""Memory metrics: against /proc/meminfo, /proc/swaps, /proc/vmstat and the C library's
allocator, and through the control interface for what the host cannot show."""
import ctypes
import errno
import re
import struct
from concurrent.futures import ThreadPoolExecutor

import pytest

import _lumvik_bsd as m
from conftest import NEEDS_C_ALLOCATOR
from truth import read_lines

MiB = 1 << 20
PAGE = m.getpagesize()
libc = ctypes.CDLL(None)
libc.malloc.argtypes, libc.malloc.restype = [ctypes.c_size_t], ctypes.c_void_p
libc.free.argtypes, libc.free.restype = [ctypes.c_void_p], None


def keyed(path, scale=1):
    return {line.split()[0].rstrip(":"): int(line.split()[1]) * scale for line in read_lines(path)}


def meminfo():
    return keyed("/proc/meminfo", 1024)


def test_virtual_memory_matches_meminfo():
    """Each figure between two reads of /proc/meminfo, give or take what a busy machine moves in
    a moment; tried again, a bounded number of times, while other processes make it jump."""
    slack = 64 * MiB
    for _ in range(20):
        before = meminfo()
        total, free, active, inactive, wired, cached, buffers, shared = m.virtual_mem()
        after = meminfo()
        figures = {"MemTotal": total, "MemFree": free, "Active": active, "Inactive": inactive,
                   "Buffers": buffers, "Shmem": shared // 2}  # virtual and real shared memory, summed
        outside = {key: (value, before[key], after[key]) for key, value in figures.items()
                   if not min(before[key], after[key]) - slack <= value <= max(before[key], after[key]) + slack}
        if not outside:
            break
    assert not outside, f"figures outside what /proc/meminfo said around them: {outside}"
    assert total == before["MemTotal"]
    assert cached == 0
    assert abs(total - free - active - inactive - wired) <= 4 * slack  # the queues make the total


PAGE_NODES = {"vm.stats.vm.v_free_count": 10, "vm.stats.vm.v_active_count": 20,
              "vm.stats.vm.v_inactive_count": 30, "vm.stats.vm.v_wire_count": 40,
              "vm.stats.vm.v_cache_count": 0}


@pytest.mark.parametrize("cache, cached", [(None, 0), (5, 5 * PAGE), (errno.ENOENT, 0)])
def test_virtual_memory_conversions(control, cache, cached):
    for node, pages in PAGE_NODES.items():
        control.answer(node, struct.pack("I", pages))
    if isinstance(cache, int) and cache == errno.ENOENT:
        control.fail("vm.stats.vm.v_cache_count", cache)
    elif cache is not None:
        control.answer("vm.stats.vm.v_cache_count", struct.pack("I", cache))
    control.answer("hw.physmem", struct.pack("Q", 12345))  # bytes, as read
    control.answer("vfs.bufspace", struct.pack("q", 678))
    control.answer("vm.vmtotal", struct.pack("9Q5h6x", 0, 0, 0, 0, 3, 0, 4, 0, 0, 0, 0, 0, 0, 0))
    assert m.virtual_mem() == (12345, 10 * PAGE, 20 * PAGE, 30 * PAGE, 40 * PAGE, cached, 678, 7 * PAGE)


@pytest.mark.parametrize("node, exc, text", [
    ("vm.vmtotal", PermissionError, "(originated from sysctl(CTL_VM | VM_METER))"),
    ("vm.stats.vm.v_free_count", PermissionError, "(originated from sysctlbyname('vm.stats.vm.v_free_count'))"),
    ("hw.physmem", PermissionError, "(originated from sysctlbyname('hw.physmem'))"),
])
def test_virtual_memory_failures(control, node, exc, text):
    control.fail(node, errno.EPERM)
    with pytest.raises(exc) as info:
        m.virtual_mem()
    assert str(info.value).endswith(text)


def test_swap_matches_the_host():
    def host():
        devices = [line.split() for line in read_lines("/proc/swaps")[1:]]
        vm = keyed("/proc/vmstat")
        paged = [vm["pgpgin"] * 1024 // PAGE - vm["pswpin"], vm["pgpgout"] * 1024 // PAGE - vm["pswpout"]]
        return (sum(int(d[2]) * 1024 // PAGE * PAGE for d in devices),
                vm["pswpin"] + vm["pswpout"], sum(paged))

    before = host()
    total, used, free, swapped, paged = m.swap_mem()
    after = host()
    assert total == before[0] and used + free == total
    for slot, value in ((1, swapped), (2, paged)):
        assert before[slot] % 2**32 <= value <= after[slot] % 2**32 or after[slot] % 2**32 < before[slot] % 2**32


def kvm_swap(total, used, name=b"ada0p3"):
    return struct.pack("32sIIiII", name, used, total, 0, 0, 0)


@pytest.mark.parametrize("devices, pagers, expected", [
    ([], (1, 2, 3, 4), (0, 0, 0, 3, 7)),
    ([kvm_swap(100, 30), kvm_swap(50, 20)], (0, 0, 0, 0), (150 * PAGE, 50 * PAGE, 100 * PAGE, 0, 0)),
    ([kvm_swap(10, 20)], (0, 0, 0, 0), (10 * PAGE, 20 * PAGE, 0, 0, 0)),  # more used than there is
    ([], (2**32 - 1, 2, 2**31, 2**31), (0, 0, 0, 1, 0)),  # the pager sums wrap at 2^32
])
def test_swap_conversions(control, devices, pagers, expected):
    control.answer("kvm_getswapinfo", b"".join(devices))
    for name, value in zip(("v_swapin", "v_swapout", "v_vnodein", "v_vnodeout"), pagers):
        control.answer(f"vm.stats.vm.{name}", struct.pack("I", value))
    assert m.swap_mem() == expected


@pytest.mark.parametrize("call, text", [
    ("kvm_open", "kvm_open() syscall failed"),
    ("kvm_getswapinfo", "kvm_getswapinfo() syscall failed"),
])
def test_swap_library_failures(control, capfd, call, text):
    control.fail(call, errno.EACCES)
    with pytest.raises(RuntimeError, match=f"^{re.escape(text)}$"):
        m.swap_mem()
    if call == "kvm_open":
        assert "kvm_open failed: " in capfd.readouterr().err


@NEEDS_C_ALLOCATOR
def test_heap_follows_a_large_block():
    mallinfo = libc.mallinfo2
    mallinfo.restype = type("mallinfo2", (ctypes.Structure,), {"_fields_": [(n, ctypes.c_size_t) for n in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]})
    allocated, mapped = m.heap_info()
    truth = mallinfo()
    assert abs(allocated - (truth.uordblks + truth.hblkhd)) < MiB
    assert abs(mapped - (truth.arena + truth.hblkhd)) < MiB
    block = libc.malloc(64 * MiB)
    try:
        grown = m.heap_info()
        assert grown[0] >= allocated + 63 * MiB and grown[1] >= mapped + 63 * MiB
    finally:
        libc.free(block)
    freed = m.heap_info()
    assert freed[0] <= grown[0] - 63 * MiB and freed[1] <= grown[1] - 63 * MiB
    assert m.heap_trim() is None


@pytest.mark.parametrize("name, message", [
    ("thread.tcache.flush", "mallctl('thread.tcache.flush')"),
    ("epoch", "mallctl('epoch')"),
    ("stats.allocated", "mallctl('stats.allocated')"),
    ("stats.mapped", "mallctl('stats.mapped')"),
])
def test_heap_info_failures(control, name, message):
    control.fail(f"mallctl.{name}", errno.EAGAIN)
    with pytest.raises(BlockingIOError) as info:
        m.heap_info()
    assert info.value.errno == errno.EAGAIN
    assert str(info.value).endswith(f"(originated from {message})")


def test_heap_trim_failure(control):
    control.fail("mallctl.arena.4096.purge", errno.EFAULT)
    with pytest.raises(OSError) as info:
        m.heap_trim()
    assert info.value.errno == errno.EFAULT


@pytest.mark.parametrize("fn", [m.cpu_times, m.per_cpu_times, m.cpu_stats, m.cpu_topology, m.virtual_mem,
                                m.swap_mem, m.heap_info, m.heap_trim])
def test_system_metrics_from_many_threads(fn):
    with ThreadPoolExecutor(8) as pool:
        results = list(pool.map(lambda _: fn(), range(200)))
    assert {type(r) for r in results} == {type(results[0])}
