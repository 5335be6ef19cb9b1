"""FreeBSD 14 amd64 kernel records, built byte by byte at their documented offsets, for the
control interface to hand to the module."""
import struct

KINFO_PROC_SIZE = 1088
KINFO_FILE_SIZE = 1392
KINFO_VMENTRY_SIZE = 1160

# struct kinfo_proc: field -> (offset, struct format)
_KINFO_PROC = {
    "ki_structsize": (0, "i"),
    "ki_pid": (72, "i"),
    "ki_ppid": (76, "i"),
    "ki_pgid": (80, "i"),
    "ki_tpgid": (84, "i"),
    "ki_sid": (88, "i"),
    "ki_uid": (168, "I"),
    "ki_ruid": (172, "I"),
    "ki_svuid": (176, "I"),
    "ki_rgid": (180, "I"),
    "ki_svgid": (184, "I"),
    "ki_groups0": (192, "I"),
    "ki_size": (256, "Q"),
    "ki_rssize": (264, "q"),
    "ki_tsize": (280, "q"),
    "ki_dsize": (288, "q"),
    "ki_ssize": (296, "q"),
    "ki_xstat": (304, "H"),
    "ki_start": (336, "qq"),
    "ki_flag": (368, "q"),
    "ki_kiflag": (376, "q"),
    "ki_stat": (388, "b"),
    "ki_comm": (447, "20s"),
    "ki_tdev": (560, "Q"),
    "ki_oncpu": (568, "i"),
    "ki_lastcpu": (572, "i"),
    "ki_numthreads": (596, "i"),
    "ki_tid": (600, "i"),
    "ru_utime": (608, "qq"),
    "ru_stime": (624, "qq"),
    "ru_inblock": (696, "q"),
    "ru_oublock": (704, "q"),
    "ru_nvcsw": (736, "q"),
    "ru_nivcsw": (744, "q"),
    "ch_utime": (752, "qq"),
    "ch_stime": (768, "qq"),
    "ki_sflag": (1072, "q"),
    "ki_tdflags": (1080, "q"),
}


def kinfo_proc(**fields):
    """One struct kinfo_proc; unnamed fields are zero, ki_structsize is set."""
    record = bytearray(KINFO_PROC_SIZE)
    fields.setdefault("ki_structsize", KINFO_PROC_SIZE)
    for name, value in fields.items():
        offset, fmt = _KINFO_PROC[name]
        values = value if isinstance(value, tuple) else (value,)
        struct.pack_into("<" + fmt, record, offset, *values)
    return bytes(record)


def kinfo_proc_field(record, name):
    """A field of a struct kinfo_proc; bytes past the end of a short record read as zero."""
    offset, fmt = _KINFO_PROC[name]
    values = struct.unpack_from("<" + fmt, record.ljust(KINFO_PROC_SIZE, b"\0"), offset)
    return values if len(values) > 1 else values[0]


def kinfo_vmentry(start, end, protection=0, type_=0, path=b"", resident=0, private_resident=0,
                  ref_count=0, shadow_count=0):
    record = bytearray(KINFO_VMENTRY_SIZE)
    struct.pack_into("<ii", record, 0, KINFO_VMENTRY_SIZE, type_)
    struct.pack_into("<QQ", record, 8, start, end)
    struct.pack_into("<iiiii", record, 48, resident, private_resident, protection, ref_count, shadow_count)
    record[136:136 + len(path)] = path
    return bytes(record)


def kinfo_file(fd, type_, vnode_type=0, path=b""):
    record = bytearray(KINFO_FILE_SIZE)
    struct.pack_into("<iii", record, 0, KINFO_FILE_SIZE, type_, fd)
    struct.pack_into("<i", record, 32, vnode_type)
    record[368:368 + len(path)] = path
    return bytes(record)
