"""The module's record walkers fed corrupted kernel answers through the control interface:
records of every size and *_structsize, truncated and oversized buffers, unterminated strings,
lengths that lie, every node and library call of the network and system functions.
A seeded random driver: each case is reproducible from its seed. Every call returns a value
consistent with the whole records it was given, or raises one of the errors a caller expects;
the network and system functions run each case twice, on stack and heap painted with different
bytes, and must answer alike: a difference is memory the module never wrote.
LUMVIK_FUZZ_CASES sets the number of cases per function (./dev fuzz raises it)."""
import errno
import os
import random
import socket
import struct

import pytest

import _lumvik_bsd as m
from conftest import painted_outcomes
from records import KINFO_FILE_SIZE, KINFO_PROC_SIZE, KINFO_VMENTRY_SIZE, kinfo_file, kinfo_proc, kinfo_vmentry
from socket_records import XFILE, XINPCB, XINPGEN, XTCPCB, XUNPCB, XUNPGEN, xfile, xinpcb, xtcpcb, xunpcb, xunpgen

PID = 424242  # answered through the control interface only
CASES = int(os.environ.get("LUMVIK_FUZZ_CASES", "60"))
EXPECTED_ERRORS = (OSError, RuntimeError, ValueError)  # ValueError: UnicodeDecodeError included
P_INMEM = 0x10000000


def corrupt(rng, records, size):
    """records (whole ones) corrupted: some bytes flipped, sizes and strings broken, the
    buffer cut or lengthened."""
    data = bytearray(b"".join(records))
    for _ in range(rng.randrange(8)):
        if data:
            data[rng.randrange(len(data))] = rng.randrange(256)
    for start in range(0, len(data) - size + 1, size):
        what = rng.randrange(4)
        if what == 0:  # a structure size pointing anywhere, past the buffer included
            struct.pack_into("<i", data, start, rng.choice([0, -1, 1, size - 1, size + 1, 2**31 - 1, len(data) * 2]))
        elif what == 1:  # every string field unterminated
            data[start + 8:start + size] = bytes(rng.randrange(1, 256) for _ in range(size - 8))
    cut = rng.choice([0, len(data), len(data) - rng.randrange(1, size), len(data) + rng.randrange(1, 3 * size)])
    cut = max(cut, 0)
    return bytes(data[:cut]).ljust(cut, bytes([rng.randrange(256)]))


def file_records(rng):
    return [kinfo_file(rng.randrange(-6, 64), rng.randrange(-1, 16), rng.randrange(-1, 10), rng.randbytes(rng.randrange(40)).replace(b"\0", b"x"))
            for _ in range(rng.randrange(4))]


def map_records(rng):
    return [kinfo_vmentry(rng.randrange(2**64), rng.randrange(2**64), rng.randrange(16), rng.randrange(-2, 12),
                          rng.randbytes(rng.randrange(40)).replace(b"\0", b"x"), rng.randrange(-2**31, 2**31),
                          rng.randrange(-2**31, 2**31))
            for _ in range(rng.randrange(4))]


def proc_records(rng):
    return [kinfo_proc(ki_pid=rng.randrange(-2**31, 2**31), ki_tid=rng.randrange(-2**31, 2**31),
                       ki_stat=rng.randrange(-128, 128), ki_rssize=rng.randrange(-2**63, 2**63),
                       ki_comm=rng.randbytes(20), ki_flag=P_INMEM, ru_utime=(rng.randrange(-2**63, 2**63), rng.randrange(-2**63, 2**63)))
            for _ in range(rng.randrange(1, 4))]


def whole(data, size):
    return len(data) // size


# function, control key, records maker, record size, the truth about a result given the answer
WALKERS = [
    (m.proc_num_fds, f"kinfo_getfile.{PID}", file_records, KINFO_FILE_SIZE,
     lambda data, got: got == whole(data, KINFO_FILE_SIZE)),
    (m.proc_open_files, f"kinfo_getfile.{PID}", file_records, KINFO_FILE_SIZE,
     lambda data, got: len(got) <= whole(data, KINFO_FILE_SIZE) and all(len(os.fsencode(p)) <= 1024 for p, _ in got)),
    (m.proc_cwd, f"kinfo_getfile.{PID}", file_records, KINFO_FILE_SIZE,
     lambda data, got: len(os.fsencode(got)) <= 1024),
    (m.proc_memory_maps, f"kinfo_getvmmap.{PID}", map_records, KINFO_VMENTRY_SIZE,
     lambda data, got: len(got) == whole(data, KINFO_VMENTRY_SIZE)),
    (m.proc_threads, f"kern.proc.pid_td.{PID}", proc_records, KINFO_PROC_SIZE,
     lambda data, got: [t[0] for t in got] == [struct.unpack_from("<I", data, i * KINFO_PROC_SIZE + 600)[0]
                                               for i in range(whole(data, KINFO_PROC_SIZE))]),
    (m.proc_oneshot_info, f"kern.proc.pid.{PID}", proc_records, KINFO_PROC_SIZE, lambda data, got: len(got) == 25),
    (m.proc_name, f"kern.proc.pid.{PID}", proc_records, KINFO_PROC_SIZE,
     lambda data, got: len(os.fsencode(got)) <= 20),
    (m.proc_environ, f"kvm_getenvv.{PID}", lambda rng: [rng.randbytes(rng.randrange(64))], 8,
     lambda data, got: isinstance(got, dict)),
    (m.proc_cmdline, f"kern.proc.args.{PID}", lambda rng: [rng.randbytes(rng.randrange(64))], 8,
     lambda data, got: isinstance(got, list)),
    (m.proc_exe, f"kern.proc.pathname.{PID}", lambda rng: [rng.randbytes(rng.randrange(64))], 8,
     lambda data, got: isinstance(got, str)),
]


@pytest.mark.parametrize("fn, key, make, size, truth", WALKERS, ids=[w[0].__name__ for w in WALKERS])
def test_corrupted_records_give_values_or_expected_errors(control, fn, key, make, size, truth):
    if not key.startswith("kern.proc.pid."):  # the record that says the process exists
        control.answer(f"kern.proc.pid.{PID}", kinfo_proc(ki_pid=PID, ki_flag=P_INMEM))
    for seed in range(CASES):
        rng = random.Random(seed)
        data = corrupt(rng, make(rng), size)
        control.answer(key, data)
        try:
            got = fn(PID)
        except EXPECTED_ERRORS:
            continue
        assert truth(data, got), f"seed {seed}: {len(data)} bytes gave {str(got)[:200]}"


# --- The network and system functions: every node and call they read ---------------------------

SYSTEM_ERRORS = EXPECTED_ERRORS + (NotImplementedError, MemoryError)
ERRNOS = [errno.EPERM, errno.ENOENT, errno.ESRCH, errno.ENOMEM, errno.EACCES, errno.EINVAL, errno.ENXIO,
          errno.EOPNOTSUPP, 0]


class Answer:
    """Bytes a node answers, with where its records start and how wide their length field is, or
    how to make the lengths inside it lie."""

    def __init__(self, data, starts=(), width=0, lie=None):
        self.data, self.starts, self.width, self.lie = bytes(data), list(starts), width, lie


def scalar(size):
    return lambda rng: Answer(rng.randbytes(size))


def text(rng):
    return Answer(bytes(rng.choice(b"<>/ abc0123456789") for _ in range(rng.randrange(64))) + b"\0")


def records(header, items, trailer=b""):
    starts, offset = [], len(header)
    for item in items:
        starts.append(offset)
        offset += len(item)
    return header + b"".join(items) + trailer, starts


def inet_list(rng, tcp):
    gen = rng.randrange(2**32)
    items = [xtcpcb(so, rng.randrange(12), lport=rng.randrange(65536)) if tcp else
             xinpcb(so, vflag=rng.choice([1, 2, 3]), lport=rng.randrange(65536)) for so in SOCKETS]
    head = struct.pack("<Q8xQ", XINPGEN, gen).ljust(XINPGEN, b"\0")
    data, starts = records(head, items, head)
    return Answer(data, [0] + starts + [len(data) - XINPGEN], 8)


def local_list(rng):
    items = [xunpcb(so, b"/tmp/s" + bytes([48 + i])) for i, so in enumerate(SOCKETS)]
    head = xunpgen(rng.randrange(2**32))
    data, starts = records(head, items, head)
    return Answer(data, [0] + starts + [len(data) - XUNPGEN], 8)


SOCKETS = [0xFFFFF80000000000 | n << 8 for n in (1, 2, 3)]
PID = 424242


def file_table(rng):
    data, starts = records(b"", [xfile(PID, fd, so) for fd, so in enumerate(SOCKETS)])
    return Answer(data, starts, 8)


def socket_files(rng):
    items = []
    for fd in range(3):
        r = bytearray(kinfo_file(fd, 2))
        domain = rng.choice([socket.AF_UNIX, socket.AF_INET, 28])
        struct.pack_into("<iii", r, 36, domain, rng.choice([1, 2, 5]), 6)
        r[48] = rng.randrange(256)  # sa_len of the local address
        r[49] = domain
        items.append(bytes(r))
    data, starts = records(b"", items)
    return Answer(data, starts, 4)


def route_messages(rng):
    items = []
    for i in range(3):
        name = b"fz%d" % i
        sdl = struct.pack("<BBHBBBB", 54, 18, i + 1, 6, len(name), 6, 0) + name + rng.randbytes(6)
        body = struct.pack("<BBiiHH", 5, 14, 0x43, 0, i + 1, 0) + rng.randbytes(152)
        msg = struct.pack("<H", 2 + len(body) + 56) + body + sdl.ljust(56, b"\0")
        items.append(msg)
    data, starts = records(b"", items)
    return Answer(data, starts, 2)


def sockaddr(rng):
    family = rng.choice([2, 28, 18])
    if family == 18:
        name, mac = b"fz0", rng.randbytes(6)
        body = struct.pack("<BHBBBB", 18, 1, 6, len(name), len(mac), 0) + name + mac
        return bytes([1 + len(body)]) + body
    size = 16 if family == 2 else 28
    return bytes([size, family]) + rng.randbytes(size - 2)


def interface_addresses(rng):
    items = []
    for i in range(rng.randrange(1, 4)):
        fields = [sockaddr(rng) if rng.randrange(3) else b"" for _ in range(3)]  # b"": a null pointer
        entry = (b"fz%d" % i).ljust(16, b"\0") + struct.pack("<I", rng.choice([0x2, 0x10, 0x12]))
        starts = []
        for sa in fields:
            starts += [len(entry) + 1] if sa else []  # where the address starts: its sa_len
            entry += bytes([len(sa)]) + sa
        items.append((entry, starts))
    data, starts, offset = b"", [], 0
    for entry, inner in items:
        starts += [offset + s for s in inner]
        data += entry
        offset += len(entry)
    return Answer(data, starts, lie=lie_about_addresses)


def lie_about_addresses(rng, data, starts):
    """Addresses that claim more bytes than they hold; a link address's name and address fit the
    claim, so that only the claim lies."""
    for at in starts:
        claim = data[at] = rng.choice([0, 1, 8, 54, 255, rng.randrange(256)])
        if data[at + 1] == 18 and claim >= 8:
            data[at + 5] = rng.randrange(min(claim - 8, 16) + 1)
            data[at + 6] = rng.randrange(claim - 8 - data[at + 5] + 1)


def swap_devices(rng):
    data, starts = records(b"", [rng.randbytes(52) for _ in range(rng.randrange(1, 3))])
    return Answer(data, starts)


def mounts(rng):
    data, starts = records(b"", [rng.randbytes(2344) for _ in range(2)])
    return Answer(data, starts)


def devices(rng):
    data, starts = records(struct.pack("<q", rng.randrange(2**32)), [rng.randbytes(288) for _ in range(2)])
    return Answer(data, starts)


def utmp(rng):
    data, starts = records(b"", [struct.pack("<h", 7) + rng.randbytes(382) for _ in range(2)])
    return Answer(data, starts)


def ncpu(rng):
    return Answer(struct.pack("<i", 2))


VM = ["hw.physmem", "vfs.bufspace"]
VM_COUNTS = [f"vm.stats.vm.v_{n}_count" for n in ("active", "inactive", "wire", "cache", "free")]
SWAP_COUNTS = [f"vm.stats.vm.v_{n}" for n in ("swapin", "swapout", "vnodein", "vnodeout")]
CPU_STATS = [f"vm.stats.sys.v_{n}" for n in ("soft", "intr", "syscall", "trap", "swtch")]
FILTERS = ([socket.AF_INET, socket.AF_INET6, socket.AF_UNIX], [socket.SOCK_STREAM, socket.SOCK_DGRAM, 5])

# function, its arguments, and every node or call it reads with the answer the case starts from
NODES = [
    (m.cpu_count_logical, (), {"hw.ncpu": scalar(4)}),
    (m.cpu_times, (), {"kern.cp_time": scalar(40)}),
    (m.per_cpu_times, (), {"hw.ncpu": ncpu, "kern.cp_times": scalar(80)}),
    (m.cpu_topology, (), {"kern.sched.topology_spec": text}),
    (m.cpu_stats, (), {name: scalar(4) for name in CPU_STATS}),
    (m.cpu_freq, (0,), {"dev.cpu.0.freq": scalar(4), "dev.cpu.0.freq_levels": text}),
    (m.virtual_mem, (), {**{name: scalar(8) for name in VM}, **{name: scalar(4) for name in VM_COUNTS},
                         "vm.vmtotal": scalar(88)}),
    (m.swap_mem, (), {"kvm_getswapinfo": swap_devices, **{name: scalar(4) for name in SWAP_COUNTS}}),
    (m.disk_partitions, (), {"getfsstat": mounts}),
    (m.disk_io_counters, (), {"kern.devstat.version": lambda rng: Answer(struct.pack("<i", 6)),
                              "kern.devstat.all": devices}),
    (m.boot_time, (), {"kern.boottime": scalar(16)}),
    (m.sensors_battery, (), {name: scalar(4) for name in ("hw.acpi.battery.life", "hw.acpi.battery.time",
                                                          "hw.acpi.acline")}),
    (m.sensors_cpu_temperature, (0,), {"dev.cpu.0.temperature": scalar(4), "dev.cpu.0.coretemp.tjmax": scalar(4)}),
    (m.users, (), {"utmpx": utmp}),
    (m.net_connections, FILTERS, {"kern.file": file_table, "net.inet.tcp.pcblist": lambda rng: inet_list(rng, True),
                                  "net.inet.udp.pcblist": lambda rng: inet_list(rng, False),
                                  "net.local.stream.pcblist": local_list, "net.local.dgram.pcblist": local_list}),
    (m.proc_net_connections, (PID,) + FILTERS, {f"kinfo_getfile.{PID}": socket_files,
                                                "net.inet.tcp.pcblist": lambda rng: inet_list(rng, True)}),
    (m.net_io_counters, (), {"net.routetable": route_messages}),
    (m.net_if_addrs, (), {"getifaddrs": interface_addresses}),
    (m.net_if_mtu, ("fz0",), {"SIOCGIFMTU.fz0": scalar(16)}),
    (m.net_if_flags, ("fz0",), {"SIOCGIFFLAGS.fz0": scalar(16)}),
    (m.net_if_is_running, ("fz0",), {"SIOCGIFFLAGS.fz0": scalar(16)}),
    (m.net_if_duplex_speed, ("fz0",), {"SIOCGIFMEDIA.fz0": scalar(32)}),
]
LIES = {1: lambda rng, n: rng.randrange(256), 2: lambda rng, n: rng.choice([0, 1, 7, 65, n, n + 1, 65535]),
        4: lambda rng, n: rng.choice([0, -1, 1, 7, 65, n + 1, 2**31 - 1]),
        8: lambda rng, n: rng.choice([0, 1, 7, 65, 64, n - 1, n + 1, 2**63 - 1, 2**64 - 1])}
WIDTHS = {1: "<B", 2: "<H", 4: "<i", 8: "<Q"}


def mutate(rng, answer, kind):
    """The answer empty, cut short, lengthened, with lying record lengths or flipped bytes."""
    data = bytearray(answer.data)
    if kind == "empty":
        return b""
    if kind == "short":
        return bytes(data[:rng.randrange(len(data))]) if data else b""
    if kind == "oversized":
        return bytes(data) + rng.randbytes(rng.randrange(1, 2 * len(data) + 8))
    if kind == "lying" and answer.lie:
        answer.lie(rng, data, answer.starts)
        return bytes(data)
    if kind == "lying" and answer.width:
        for start in rng.sample(answer.starts, rng.randrange(1, len(answer.starts) + 1)):
            lie = LIES[answer.width](rng, len(data) - start)
            struct.pack_into(WIDTHS[answer.width], data, start, lie % 2**(8 * answer.width)
                             if answer.width != 4 else lie)
        return bytes(data)
    for _ in range(rng.randrange(1, 9)):
        if data:
            data[rng.randrange(len(data))] = rng.randrange(256)
    return bytes(data)


KINDS = ["empty", "short", "oversized", "lying", "flipped", "errno"]


def set_answer(control, tmp_path, key, data):
    if key == "utmpx":  # answers from the file the bytes name
        path = tmp_path / "utmp"
        path.write_bytes(data)
        data = os.fsencode(path)
    control.answer(key, data)


@pytest.mark.parametrize("fn, args, nodes", NODES, ids=[n[0].__name__ for n in NODES])
def test_hostile_answers_give_the_same_result_on_any_memory(control, tmp_path, fn, args, nodes):
    cases = max(CASES // 6, 4)
    for key in nodes:
        for kind in KINDS:
            for seed in range(cases):
                rng = random.Random(f"{key} {kind} {seed}")
                for name, make in nodes.items():
                    set_answer(control, tmp_path, name, make(rng).data)
                if kind == "errno":
                    control.fail(key, rng.choice(ERRNOS))
                else:
                    set_answer(control, tmp_path, key, mutate(rng, nodes[key](rng), kind))
                first, second = painted_outcomes(fn, args, SYSTEM_ERRORS)
                assert first == second, f"{key} {kind} seed {seed}: {str(first)[:300]} / {str(second)[:300]}"
                if fn is m.per_cpu_times and isinstance(first, list):
                    assert len(first) <= 1024  # no FreeBSD system has more CPUs than a set can name
