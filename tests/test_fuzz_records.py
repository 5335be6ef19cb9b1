"""The module's record walkers fed corrupted kernel answers through the control interface:
records of every size and *_structsize, truncated and oversized buffers, unterminated strings.
A seeded random driver: each case is reproducible from its seed. Every call returns a value
consistent with the whole records it was given, or raises one of the errors a caller expects.
LUMVIK_FUZZ_CASES sets the number of cases per function (./dev fuzz raises it)."""
import os
import random
import struct

import pytest

import _lumvik_bsd as m
from records import KINFO_FILE_SIZE, KINFO_PROC_SIZE, KINFO_VMENTRY_SIZE, kinfo_file, kinfo_proc, kinfo_vmentry

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
