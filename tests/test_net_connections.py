"""The socket tables: sockets this test makes, as the module reports them and as Linux does."""
import errno
import os
import socket
import subprocess

import pytest

import _lumvik_bsd as m
from socket_records import pcblist, xfile, xinpcb, xinpgen, xtcpcb, xunpcb, xunpgen
from truth import read_lines

ME = os.getpid()
ALL_FAMILIES, ALL_TYPES = (1, 2, 28), (1, 2)
# Linux's TCP states (include/net/tcp_states.h) by the name FreeBSD gives them.
LINUX_TCP_STATES = {1: m.TCPS_ESTABLISHED, 10: m.TCPS_LISTEN}


def inode(sock):
    return int(os.readlink(f"/proc/self/fd/{sock.fileno()}")[8:-1])


def linux_tcp_state(sock):
    """The state /proc/net/tcp or tcp6 shows for the socket."""
    for table in ("tcp", "tcp6"):
        for line in read_lines(f"/proc/net/{table}")[1:]:
            fields = line.split()
            if int(fields[9]) == inode(sock):
                return LINUX_TCP_STATES[int(fields[3], 16)]
    raise AssertionError("the socket is not in /proc/net/tcp*")


def linux_dual_stack(sock):
    """ss tells whether an IPv6 socket also takes IPv4 ("v6only:0")."""
    out = subprocess.run(["ss", "-Htuanle"], capture_output=True, text=True, check=True).stdout
    line = next(line for line in out.splitlines() if f" ino:{inode(sock)} " in line)
    return "v6only:0" in line


def expected(sock, proc=False):
    """The tuple the module should give for a socket, from what Linux says about it."""
    status = linux_tcp_state(sock) if sock.type == socket.SOCK_STREAM and sock.family != socket.AF_UNIX else 128
    if sock.family == socket.AF_UNIX:
        item = (sock.fileno(), 1, int(sock.type), sock.getsockname(), "", 128)
        return item if proc else item + (ME,)
    local = sock.getsockname()[:2]
    try:
        remote = sock.getpeername()[:2]
    except OSError:
        remote = ()
    family = 28 if sock.family == socket.AF_INET6 else 2
    if not proc and family == 28:  # FreeBSD keeps IPv4 traffic of an IPv6 socket as IPv4
        if local[0].startswith("::ffff:"):
            local, remote = (local[0][7:], local[1]), (remote[0][7:], remote[1])
            family = 2
        elif local[0] == "::" and linux_dual_stack(sock):
            family, local = 2, ("0.0.0.0", local[1])
    item = (sock.fileno(), family, int(sock.type), local, remote, status)
    return item if proc else item + (ME,)


@pytest.fixture(scope="module")
def sockets(tmp_path_factory):
    """One socket of every kind, by name."""
    tmp = tmp_path_factory.mktemp("sockets")
    made = {}
    made["tcp listening"] = socket.create_server(("127.0.0.1", 0))
    made["tcp client"] = socket.create_connection(made["tcp listening"].getsockname())
    made["tcp accepted"] = made["tcp listening"].accept()[0]
    made["udp bound"] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    made["udp bound"].bind(("127.0.0.1", 0))
    made["udp connected"] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    made["udp connected"].connect(made["udp bound"].getsockname())
    made["tcp6 listening"] = socket.create_server(("::1", 0), family=socket.AF_INET6)
    made["udp6 bound"] = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
    made["udp6 bound"].bind(("::1", 0))
    made["tcp dual-stack"] = socket.create_server(("::", 0), family=socket.AF_INET6, dualstack_ipv6=True)
    made["tcp client of dual-stack"] = socket.create_connection(("127.0.0.1", made["tcp dual-stack"].getsockname()[1]))
    made["tcp ipv4 on ipv6"] = made["tcp dual-stack"].accept()[0]
    made["unix stream bound"] = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    made["unix stream bound"].bind(str(tmp / "stream"))
    made["unix dgram bound"] = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    made["unix dgram bound"].bind(str(tmp / "dgram"))
    made["unix unbound"], made["unix unbound peer"] = socket.socketpair()
    yield made
    for sock in made.values():
        sock.close()


def mine(connections):
    return [c for c in connections if c[-1] == ME]


@pytest.mark.parametrize("name", ["tcp listening", "tcp client", "tcp accepted", "udp bound", "udp connected",
                                  "tcp6 listening", "udp6 bound", "tcp dual-stack", "tcp ipv4 on ipv6",
                                  "unix stream bound", "unix dgram bound", "unix unbound"])
def test_each_socket_as_linux_shows_it(sockets, name):
    sock = sockets[name]
    listed = [c for c in mine(m.net_connections(ALL_FAMILIES, ALL_TYPES)) if c[0] == sock.fileno()]
    assert listed == [expected(sock)]
    listed = [c for c in m.proc_net_connections(ME, ALL_FAMILIES, ALL_TYPES) if c[0] == sock.fileno()]
    assert listed == [expected(sock, proc=True)]


@pytest.mark.parametrize("families, types, names", [
    ((2,), (1, 2), {"tcp listening", "tcp client", "tcp accepted", "udp bound", "udp connected",
                    "tcp ipv4 on ipv6", "tcp client of dual-stack"}),
    ((28,), (1,), {"tcp6 listening"}),
    ((2, 28), (2,), {"udp bound", "udp connected", "udp6 bound"}),
    ((1,), (1,), {"unix stream bound", "unix dgram bound", "unix unbound", "unix unbound peer"}),
    ((), (), set()),
])
def test_filters_of_the_system_table(sockets, families, types, names):
    fds = {c[0] for c in mine(m.net_connections(families, types))}
    assert {name for name, sock in sockets.items() if sock.fileno() in fds} == names


@pytest.mark.parametrize("families, types, names", [
    ((1,), (2,), {"unix dgram bound"}),
    ((28,), (1,), {"tcp6 listening", "tcp dual-stack", "tcp ipv4 on ipv6"}),
])
def test_filters_of_the_process_table(sockets, families, types, names):
    fds = {c[0] for c in m.proc_net_connections(ME, families, types)}
    assert {name for name, sock in sockets.items() if sock.fileno() in fds} == names


@pytest.mark.parametrize("call", [lambda: m.net_connections(1, ()), lambda: m.proc_net_connections(ME, (), 2)])
def test_filters_must_be_sequences(call):
    with pytest.raises(TypeError, match="^arg 2 or 3 is not a sequence$"):
        call()


def test_process_that_does_not_exist(children):
    with pytest.raises(ProcessLookupError, match=r"originated from kinfo_getfile\(\)"):
        m.proc_net_connections(children.gone_pid(), ALL_FAMILIES, ALL_TYPES)


# Through the control interface: a file table of one descriptor, fd 99 of this process, whose
# object is the socket at OWNED.
OWNED = 0xFFFFF80012345600
FILES = xfile(ME, 99, OWNED)
TCP = xtcpcb(OWNED, 4, lport=80, fport=443, faddr=bytes([10, 0, 0, 1]))
UDP = xinpcb(OWNED, lport=53)
LOCAL = xunpcb(OWNED, b"/run/x.sock")


@pytest.mark.parametrize("node, data, message", [
    ("kern.file", xfile(ME, 99, OWNED, size=120), "struct xfile size mismatch"),
    ("net.inet.tcp.pcblist", pcblist([TCP])[:-1], "struct xinpgen size mismatch"),
    ("net.inet.tcp.pcblist", xinpgen(1, length=60) + TCP + xinpgen(1), "struct xinpgen size mismatch"),
    ("net.inet.tcp.pcblist", xinpgen(1), "struct xinpgen size mismatch"),
    ("net.inet.tcp.pcblist", pcblist([TCP[:-8] + bytes(4)]), "struct xtcpcb size mismatch"),
    ("net.inet.tcp.pcblist", pcblist([xtcpcb(OWNED, 4, length=700)]), "struct xtcpcb size mismatch"),
    ("net.inet.udp.pcblist", pcblist([xinpcb(OWNED, length=399)]), "struct xinpcb size mismatch"),
    ("net.local.stream.pcblist", pcblist([xunpcb(OWNED, length=900)], header=xunpgen),
     "struct xunpcb size mismatch"),
    ("net.local.dgram.pcblist", xunpgen(1, length=64) + xunpgen(1), "struct xinpgen size mismatch"),
], ids=["xfile", "tail cut", "head length", "one header", "record cut", "tcp length", "udp length", "unix length",
        "unix header"])
def test_size_mismatches(control, node, data, message):
    control.answer(node, data)
    with pytest.raises(RuntimeError, match=f"^{message}$"):
        m.net_connections(ALL_FAMILIES, ALL_TYPES)


@pytest.mark.parametrize("differing_fetches, listed", [(3, False), (6, True)])
def test_generations_that_differ_are_fetched_again_five_times_then_accepted(control, differing_fetches, listed):
    control.answer("kern.file", FILES)
    control.answer_fetches("net.inet.tcp.pcblist", pcblist([TCP], gen=1, tail_gen=2), differing_fetches)
    expected_item = (99, 2, 1, ("127.0.0.1", 80), ("10.0.0.1", 443), 4, ME)
    assert (m.net_connections((2,), (1,)) == [expected_item]) == listed


@pytest.mark.parametrize("node", ["kern.file", "net.inet.udp.pcblist"])
def test_a_list_that_grows_is_read_again_within_bounds(control, node):
    control.answer("kern.file", FILES)
    control.answer("net.inet.udp.pcblist", pcblist([UDP]))
    control.grow(node, 5)
    assert m.net_connections((2,), (2,)) == [(99, 2, 2, ("127.0.0.1", 53), (), 128, ME)]
    control.grow(node, 1000)
    with pytest.raises(OSError) as raised:
        m.net_connections((2,), (2,))
    assert raised.value.errno == errno.ENOMEM


@pytest.mark.parametrize("families, listed", [((2,), []), ((28,), []),
                                              ((2, 28), [(99, 2, 2, ("192.0.2.7", 53), (), 128, ME)])])
def test_a_dual_flag_socket_needs_both_families_and_reports_ipv4(control, families, listed):
    control.answer("kern.file", FILES)
    control.answer("net.inet.udp.pcblist", pcblist([xinpcb(OWNED, vflag=3, laddr=bytes([192, 0, 2, 7]), lport=53,
                                                           family=28)]))
    assert m.net_connections(families, (2,)) == listed


@pytest.mark.parametrize("record, path", [
    (xunpcb(OWNED, b"/run/x.sock"), "/run/x.sock"),
    (xunpcb(OWNED, b"/run/x.sock", sun_len=5), "/ru"),
    (xunpcb(OWNED, b"/run/x.sock", sun_len=0), "/run/x.sock"),
    (xunpcb(OWNED, b"a" * 104 + b"junk", sun_len=255), "a" * 104),  # never past sun_path
    (xunpcb(OWNED), ""),
], ids=["bound", "sun_len short", "sun_len 0", "sun_len past sun_path", "unbound"])
def test_local_paths(control, record, path):
    control.answer("kern.file", FILES)
    control.answer("net.local.stream.pcblist", pcblist([record], header=xunpgen))
    control.answer("net.local.dgram.pcblist", pcblist([], header=xunpgen))
    assert m.net_connections((1,), ()) == [(99, 1, 1, path, "", 128, ME)]


def test_a_control_block_without_a_socket_has_no_owner(control):
    control.answer("kern.file", xfile(ME, 98, 0) + FILES)  # a file whose object is unknown
    control.answer("net.inet.tcp.pcblist", pcblist([xtcpcb(0, m.TCPS_TIME_WAIT, lport=80), TCP]))
    assert [c[0] for c in m.net_connections((2,), (1,))] == [99]


def test_the_process_table_does_not_refetch_a_grown_tcp_list(control, sockets):
    control.grow("net.inet.tcp.pcblist", 1)
    with pytest.raises(OSError) as raised:
        m.proc_net_connections(ME, ALL_FAMILIES, ALL_TYPES)
    assert raised.value.errno == errno.ENOMEM
