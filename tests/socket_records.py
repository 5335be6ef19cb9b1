"""FreeBSD 14 amd64 file table and control block records, packed at their documented offsets,
for the control interface to hand to the socket tables."""
import struct

XFILE, XINPGEN, XINPCB, XTCPCB, XUNPGEN, XUNPCB = 128, 64, 400, 744, 32, 904


def xfile(pid, fd, data, size=XFILE):
    r = bytearray(XFILE)
    struct.pack_into("<QiIi", r, 0, size, pid, 0, fd)
    struct.pack_into("<Q", r, 56, data)
    return bytes(r)


def xinpgen(gen, length=XINPGEN):
    r = bytearray(XINPGEN)
    struct.pack_into("<Q", r, 0, length)
    struct.pack_into("<Q", r, 16, gen)
    return bytes(r)


def xunpgen(gen, length=XUNPGEN):
    r = bytearray(XUNPGEN)
    struct.pack_into("<Q", r, 0, length)
    struct.pack_into("<Q", r, 16, gen)
    return bytes(r)


def xinpcb(so, vflag=1, laddr=bytes([127, 0, 0, 1]), lport=0, faddr=bytes(4), fport=0, family=2, type_=2,
           protocol=17, length=XINPCB):
    """IPv4 addresses go to the IPv4 fields (the last 4 bytes of each endpoint), IPv6 ones fill it."""
    r = bytearray(XINPCB)
    struct.pack_into("<QQ", r, 0, length, 0)
    struct.pack_into("<Q", r, 16, so)
    struct.pack_into("<ii", r, 104, protocol, family)
    struct.pack_into("<h", r, 164, type_)
    struct.pack_into(">HH", r, 252, fport, lport)
    r[256 + 16 - len(faddr):272] = faddr
    r[272 + 16 - len(laddr):288] = laddr
    r[392] = vflag
    return bytes(r)


def xtcpcb(so, state, length=XTCPCB, **inp):
    r = bytearray(XTCPCB)
    struct.pack_into("<Q", r, 0, length)
    r[8:8 + XINPCB] = xinpcb(so, type_=1, protocol=6, **inp)
    struct.pack_into("<i", r, 568, state)
    return bytes(r)


def xunpcb(so, path=b"", sun_len=None, length=XUNPCB):
    r = bytearray(XUNPCB)
    struct.pack_into("<Q", r, 0, length)
    r[152] = 2 + len(path) if sun_len is None else sun_len
    r[153] = 1
    r[154:154 + len(path)] = path
    struct.pack_into("<Q", r, 672, so)
    return bytes(r)


def pcblist(records, gen=1, tail_gen=None, header=xinpgen):
    return header(gen) + b"".join(records) + header(gen if tail_gen is None else tail_gen)
