"""Interfaces in states the host cannot show, through the personality's control interface:
routing messages, address lists, interface flags and media words handed in as bytes."""
import ctypes
import errno
import os
import socket
import struct
import threading

import pytest

import _lumvik_bsd as m
from conftest import LIB

IFF = {"up": 0x1, "broadcast": 0x2, "loopback": 0x8, "pointopoint": 0x10, "running": 0x40, "multicast": 0x8000,
       "simplex": 0x800}
RTM_NEWADDR, RTM_IFINFO = 12, 14
IF_MSGHDR = 168
IFM_ETHER, IFM_IEEE80211, IFM_FDX, IFM_HDX = 0x20, 0x80, 0x100000, 0x200000
ETHER_SPEEDS = [10, 10, 10, 100, 100, 100, 100, 100, 1000, 10, 10, 1000, 1000, 1000, 1, 10000, 10000, 10000, 2500,
                10000, 10000, 0, 0, 10000]  # subtypes 3 to 26
IEEE80211_SPEEDS = [1, 2, 1, 2, 5, 11, 22]  # subtypes 3 to 9


def bounded(fn, *args):
    """fn(*args) in a thread that must finish: a walk that stalls fails instead of hanging."""
    result = {}
    t = threading.Thread(target=lambda: result.update(value=fn(*args)), daemon=True)
    t.start()
    t.join(timeout=10)
    assert not t.is_alive(), f"{fn.__name__} did not return"
    return result["value"]


def ifinfo(name, counters=(0,) * 7, nlen=None, msglen=None, oqdrops=0):
    """An RTM_IFINFO message with a sockaddr_dl of name; counters are the tuple's first seven slots."""
    obytes, ibytes, opackets, ipackets, ierrors, oerrors, iqdrops = counters
    data = struct.pack("<6BH2IQ11Q3Q16x", 6, 0, 6, 14, 2, 0, 152, 1500, 0, 0, ipackets, ierrors, opackets, oerrors,
                       0, ibytes, obytes, 0, 0, iqdrops, oqdrops, 0, 0, 0)
    raw = name.encode()
    sdl_len = max(54, 8 + len(raw))
    sdl = struct.pack("<BBHBBBB", sdl_len, 18, 1, 6, len(raw) if nlen is None else nlen, 0, 0) + raw
    msg = struct.pack("<xxBBiiHH", 5, RTM_IFINFO, 0x10, 0, 1, 0) + data + sdl.ljust(-(-sdl_len // 8) * 8, b"\0")
    length = len(msg) if msglen is None else msglen
    return struct.pack("<H", length) + msg[2:length]


def newaddr():
    return struct.pack("<HBBiiHHi", 24, 5, RTM_NEWADDR, 0, 0, 1, 0, 0) + bytes(4)


@pytest.mark.parametrize("messages, names", [
    ([], set()),
    ([ifinfo("em0"), struct.pack("<HBB", 0, 5, RTM_IFINFO) + bytes(200), ifinfo("em1")], {"em0"}),
    ([ifinfo("x" * 40)], {"x" * 31}),
    ([ifinfo("abcdefgh", nlen=200, msglen=IF_MSGHDR + 8 + 4), ifinfo("em1")], {"abcd", "em1"}),
    ([ifinfo("em0"), ifinfo("em1", msglen=1000)], {"em0"}),
    ([ifinfo("short", msglen=100), newaddr(), ifinfo("em0")], {"em0"}),
    ([ifinfo("usbus0"), ifinfo("usbus12"), ifinfo("xusbus1"), ifinfo("usb0")], {"xusbus1", "usb0"}),
], ids=["empty", "length 0 ends", "long name cut", "name cut at message end", "past the end", "stepped over",
        "usbus"])
def test_routing_message_walk(control, messages, names):
    control.answer("net.routetable", b"".join(messages))
    assert set(bounded(m.net_io_counters)) == names


def test_counter_slots_and_the_later_message(control):
    # keyed by the node's earlier name, which the control interface still takes
    control.answer("net.route", ifinfo("em0", (9,) * 7) + ifinfo("em0", (1, 2, 3, 4, 5, 6, 7), oqdrops=99))
    assert m.net_io_counters() == {"em0": (1, 2, 3, 4, 5, 6, 7, 0)}


def sockaddr_in(text, family=socket.AF_INET):
    return struct.pack("<BBH", 16, family, 0) + socket.inet_aton(text) + bytes(8)


def sockaddr_in6(text):
    return struct.pack("<BBHI", 28, 28, 0, 0) + socket.inet_pton(socket.AF_INET6, text) + bytes(4)


def sockaddr_dl(name, mac, alen=None):
    body = struct.pack("<BBHBBBB", 0, 18, 1, 6, len(name), len(mac) if alen is None else alen, 0) + name + mac
    return bytes([max(len(body), 20)]) + body[1:].ljust(19, b"\0")


def entry(name, flags, addr=b"", netmask=b"", dst=b""):
    return name.encode().ljust(16, b"\0") + struct.pack("<I", flags) + b"".join(
        bytes([len(sa)]) + sa for sa in (addr, netmask, dst))


def test_address_list_entries(control):
    both = IFF["broadcast"] | IFF["pointopoint"]
    mac = bytes([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])
    entries = [
        (entry("em0", IFF["broadcast"], sockaddr_in("10.0.0.1"), sockaddr_in("255.255.255.0"),
               sockaddr_in("10.0.0.255")), ("em0", 2, "10.0.0.1", "255.255.255.0", "10.0.0.255", None)),
        (entry("em1", both, sockaddr_in("10.0.1.1"), sockaddr_in("255.0.0.0"), sockaddr_in("10.0.1.2")),
         ("em1", 2, "10.0.1.1", "255.0.0.0", "10.0.1.2", None)),
        (entry("tun0", IFF["pointopoint"], sockaddr_in("10.0.2.1"), sockaddr_in("255.255.255.255"),
               sockaddr_in("10.0.2.2")), ("tun0", 2, "10.0.2.1", "255.255.255.255", None, "10.0.2.2")),
        (entry("lo0", IFF["loopback"], sockaddr_in("127.0.0.1"), sockaddr_in("255.0.0.0"), sockaddr_in("1.2.3.4")),
         ("lo0", 2, "127.0.0.1", "255.0.0.0", None, None)),
        # a netmask getnameinfo refuses (no family) is None, and the entry is still listed
        (entry("em2", 0, sockaddr_in("10.0.3.1"), sockaddr_in("255.0.0.0", family=0)),
         ("em2", 2, "10.0.3.1", None, None, None)),
        (entry("em3", 0, sockaddr_in6("fd00::1"), sockaddr_in6("ffff:ffff::")),
         ("em3", 28, "fd00::1", "ffff:ffff::", None, None)),
        (entry("em4", 0, sockaddr_dl(b"em4", mac)), ("em4", 18, "00:1a:2b:3c:4d:5e", None, None, None)),
        (entry("em5", 0, sockaddr_dl(b"em5", b"")), None),               # no link-level address
        (entry("em6", 0, sockaddr_dl(b"em6", mac, alen=200)), None),     # more bytes than the address holds
        (entry("em7", 0), None),                                          # no address at all
        (entry("un0", 0, struct.pack("<BB", 16, 1) + bytes(14)), None),  # a family shown nowhere
    ]
    control.answer("getifaddrs", b"".join(e for e, _ in entries))
    assert m.net_if_addrs() == [t for _, t in entries if t is not None]


@pytest.mark.parametrize("call, err", [("getifaddrs", errno.ENOMEM), ("getifaddrs", errno.EACCES)])
def test_address_list_failure(control, call, err):
    control.fail(call, err)
    with pytest.raises(OSError) as e:
        m.net_if_addrs()
    assert e.value.errno == err


@pytest.mark.parametrize("low, high, names", [
    (0, 0, []),
    (0x20, -1, []),
    (0xFFFF - 0x10000, 0, ["up", "broadcast", "debug", "loopback", "pointopoint", "running", "noarp", "promisc",
                           "allmulti", "multicast", "oactive", "simplex", "link0", "link1", "link2"]),
    (sum(IFF[f] for f in ("up", "broadcast", "running", "simplex", "multicast")) - 0x10000, 0,
     ["up", "broadcast", "running", "multicast", "simplex"]),
])
def test_flag_names_in_order(control, low, high, names):
    control.answer("SIOCGIFFLAGS", struct.pack("<hh", low, high))
    assert m.net_if_flags("em0") == names
    assert m.net_if_is_running("em0") is ("running" in names)


def test_a_long_name_is_cut_to_15_bytes(control):
    control.answer("SIOCGIFMTU.abcdefghijklmno", struct.pack("<i", 1234))
    control.fail("SIOCGIFMTU", errno.ENXIO)
    assert m.net_if_mtu("abcdefghijklmnopqrst") == 1234


def test_a_name_no_interface_has():
    for fn in (m.net_if_mtu, m.net_if_is_running):
        with pytest.raises(OSError) as e:
            fn("nosuch0")
        assert e.value.errno == errno.ENXIO and e.value.strerror == os.strerror(errno.ENXIO)
    with pytest.raises(OSError) as e:
        m.net_if_flags("nosuch0")
    assert e.value.errno == errno.ENXIO
    assert e.value.strerror == f"{os.strerror(errno.ENXIO)} (originated from ioctl(SIOCGIFFLAGS))"
    assert m.net_if_duplex_speed("nosuch0") == [0, 0]


@pytest.mark.parametrize("fn", [m.net_if_mtu, m.net_if_flags, m.net_if_is_running, m.net_if_duplex_speed])
def test_the_name_must_be_a_str(fn):
    with pytest.raises(TypeError):
        fn(b"lo")


def media_cases():
    for i, speed in enumerate(ETHER_SPEEDS):
        yield IFM_ETHER | (3 + i), speed
    for i, speed in enumerate(IEEE80211_SPEEDS):
        yield IFM_IEEE80211 | (3 + i), speed
    yield from [(0, 0), (IFM_ETHER | 2, 0), (IFM_ETHER | 27, 0), (IFM_ETHER | 31, 0), (IFM_ETHER | 0x800, 0),
                (IFM_ETHER | 0x1016, 0), (IFM_IEEE80211 | 10, 0), (0xA0 | 3, 0), (IFM_IEEE80211 | 0x800 | 3, 1)]


@pytest.mark.parametrize("word, speed", list(media_cases()))
def test_speed_of_a_media_word(word, speed):
    LIB.lumvik_get_nic_speed.argtypes, LIB.lumvik_get_nic_speed.restype = [ctypes.c_int], ctypes.c_int
    assert LIB.lumvik_get_nic_speed(word) == speed


@pytest.mark.parametrize("active, result", [
    (IFM_ETHER | 16 | IFM_FDX, [2, 1000]),
    (IFM_ETHER | 6 | IFM_HDX, [1, 100]),
    (IFM_ETHER | 6, [0, 100]),
    (IFM_ETHER | 26 | IFM_FDX | IFM_HDX, [2, 10000]),
    (IFM_IEEE80211 | 7, [0, 5]),
])
def test_duplex_and_speed_of_the_active_media(control, active, result):
    control.answer("SIOCGIFMEDIA", struct.pack("<4i", IFM_ETHER, 0, 3, active))
    assert m.net_if_duplex_speed("em0") == result


@pytest.mark.parametrize("err", [errno.EINVAL, errno.ENXIO])
def test_a_failed_media_request_is_no_error(control, err):
    control.fail("SIOCGIFMEDIA", err)
    assert m.net_if_duplex_speed("em0") == [0, 0]
