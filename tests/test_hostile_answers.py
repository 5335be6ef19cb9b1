"""Answers a hostile kernel could give the network and system functions: nodes shorter than
their type, a CPU count no FreeBSD system has, an address list whose lengths lie, control block
lists whose lengths put records at odd offsets. Each call runs on stack and heap painted with two
different bytes and must give the same sound result on both."""
import socket
import struct

import pytest

import _lumvik_bsd as m
from conftest import painted_outcomes
from records import kinfo_file
from socket_records import XINPGEN, xtcpcb

PID = 424242  # answered through the control interface only
KF_TYPE_SOCKET = 2
CELSIUS_OF_ZERO = -273


def painted_results(fn, *args):
    first, second = painted_outcomes(fn, args, (OSError, RuntimeError, MemoryError, NotImplementedError))
    assert first == second, "the result holds memory the call never wrote"
    return first


def tcp_socket_file(port):
    record = bytearray(kinfo_file(3, KF_TYPE_SOCKET))
    struct.pack_into("<iii", record, 36, socket.AF_INET, socket.SOCK_STREAM, 6)
    struct.pack_into("<BBH4s", record, 48, 16, socket.AF_INET, socket.htons(port), bytes([127, 0, 0, 1]))
    return bytes(record)


def tcp_list_with_header_length(length):
    head = struct.pack("<Q", length).ljust(XINPGEN, b"\0")
    listener = xtcpcb(1, 1, lport=7777)
    return head + b"\xff" * 7 + listener + head  # a record at an odd offset, if the walk follows the length


# Every other node the function reads answers a fixed value, so that two calls can only differ by
# what the call itself left unwritten.
MEMORY = {**{name: struct.pack("<Q", 1) for name in ("hw.physmem", "vfs.bufspace")},
          **{f"vm.stats.vm.v_{n}_count": struct.pack("<I", 1) for n in ("active", "inactive", "wire", "cache", "free")}}
SWAPPING = {f"vm.stats.vm.v_{n}": struct.pack("<I", 1) for n in ("swapin", "swapout", "vnodein", "vnodeout")}
LINK = bytes([54, 18, 1, 0, 6, 0, 46, 0]) + b"abc"  # sdl_len 54, 11 bytes given, 46 address bytes claimed

CASES = [
    ("cpu_times", (), {"kern.cp_time": b""}, lambda r: r == (0.0,) * 5),
    ("boot_time", (), {"kern.boottime": b""}, lambda r: r == 0.0),
    ("virtual_mem", (), {**MEMORY, "vm.vmtotal": b""}, lambda r: r[7] == 0),
    ("sensors_battery", (), {"hw.acpi.battery.life": b"", "hw.acpi.battery.time": b"", "hw.acpi.acline": b""},
     lambda r: r == (0, 0, 0)),
    ("sensors_cpu_temperature", (0,), {"dev.cpu.0.temperature": b"", "dev.cpu.0.coretemp.tjmax": b""},
     lambda r: r == (CELSIUS_OF_ZERO, CELSIUS_OF_ZERO)),
    ("per_cpu_times", (), {"hw.ncpu": struct.pack("<i", 12808479)}, lambda r: r[0] is MemoryError),
    ("per_cpu_times", (), {"hw.ncpu": struct.pack("<i", 1025)}, lambda r: r[0] is MemoryError),
    ("per_cpu_times", (), {"hw.ncpu": struct.pack("<i", 1024), "kern.cp_times": struct.pack("<5q", *range(5))},
     lambda r: len(r) == 1024 and r[0] == tuple(t / 128 for t in (0, 1, 2, 4, 3)) and set(r[1:]) == {(0.0,) * 5}),
    ("swap_mem", (), {**SWAPPING, "kvm_getswapinfo": b""}, lambda r: r[:3] == (0, 0, 0)),
    ("net_if_addrs", (), {"getifaddrs": b"em0".ljust(16, b"\0") + bytes(4) + bytes([len(LINK)]) + LINK + bytes(2)},
     lambda r: r == [("em0", 18, "61:62:63" + ":00" * 43, None, None, None)]),
]
CASES += [("proc_net_connections", (PID, [socket.AF_INET], [socket.SOCK_STREAM]),
           {f"kinfo_getfile.{PID}": tcp_socket_file(7777), "net.inet.tcp.pcblist": tcp_list_with_header_length(n)},
           lambda r: r == [(3, socket.AF_INET, socket.SOCK_STREAM, ("127.0.0.1", 7777), (), 128)])
          for n in (1, 7, 65)]


@pytest.mark.parametrize("name, args, answers, sound", CASES, ids=[f"{c[0]}-{i}" for i, c in enumerate(CASES)])
def test_a_hostile_answer_gives_one_sound_result(control, name, args, answers, sound):
    for key, data in answers.items():
        control.answer(key, data)
    result = painted_results(getattr(m, name), *args)
    assert sound(result), result
