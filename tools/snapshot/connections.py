"""Sockets like sockstat: the listening ones with their owners, and counts by TCP state."""
from collections import Counter

from rich.console import Group
from rich.text import Text

import _lumvik_bsd as m

from .section import Section, note, table
from .processes import GONE, user_name

AF_UNIX, AF_INET, AF_INET6 = 1, 2, 28
SOCK_STREAM, SOCK_DGRAM = 1, 2
TCP_STATES = {getattr(m, n): n[5:] for n in dir(m) if n.startswith("TCPS_")}


def owner(pid):
    try:
        info = m.proc_oneshot_info(pid)
    except GONE:
        return ("?", "?")  # ended since the socket table was read
    return (user_name(info[3]), info[24] or "?")


def read_connections():
    sockets = m.net_connections([AF_UNIX, AF_INET, AF_INET6], [SOCK_STREAM, SOCK_DGRAM])
    owners = {pid: owner(pid) for pid in {s[6] for s in sockets}}
    return dict(sockets=sockets, owners=owners)


def endpoint(family, address):
    """'*:22', '127.0.0.1:631', '[::1]:631', as sockstat writes them."""
    host, port = address
    if host in ("0.0.0.0", "::"):
        host = "*"
    elif family == AF_INET6:
        host = f"[{host}]"
    return f"{host}:{port}"


def protocol(family, kind):
    if family == AF_UNIX:
        return "stream" if kind == SOCK_STREAM else "dgram"
    return ("tcp" if kind == SOCK_STREAM else "udp") + ("4" if family == AF_INET else "6")


def listening(sockets):
    """TCP sockets that listen and UDP sockets bound to a port with no peer."""
    return [s for s in sockets if s[1] != AF_UNIX and s[3] and s[3][1] and not s[4]
            and (s[2] == SOCK_DGRAM or s[5] == m.TCPS_LISTEN)]


def state_counts(sockets):
    tcp = Counter(TCP_STATES.get(s[5], str(s[5])) for s in sockets if s[1] != AF_UNIX and s[2] == SOCK_STREAM)
    udp = sum(1 for s in sockets if s[1] != AF_UNIX and s[2] == SOCK_DGRAM)
    unix = Counter(protocol(AF_UNIX, s[2]) for s in sockets if s[1] == AF_UNIX)
    parts = ["TCP " + (", ".join(f"{n} {state}" for state, n in tcp.most_common()) or "none"),
             f"UDP {udp}", f"unix {unix['stream']} stream, {unix['dgram']} datagram"]
    return "; ".join(parts)


def render_connections(reading):
    sockets, owners = reading.now["sockets"], reading.now["owners"]
    found = sorted(listening(sockets), key=lambda s: (s[3][1], s[2], s[1], s[6]))
    if not found:
        return Group(Text(state_counts(sockets)), note("no socket listens"))
    t = table("USER", "COMMAND", "PID>", "FD>", "PROTO", "LOCAL ADDRESS")
    for fd, family, kind, local, _, _, pid in found:
        user, command = owners.get(pid, ("?", "?"))
        t.add_row(user, command, str(pid), str(fd), protocol(family, kind), endpoint(family, local))
    return Group(Text(state_counts(sockets)), Text("listening:"), t)


SECTIONS = [Section("Connections", ("net_connections", "proc_oneshot_info"), read_connections, render_connections)]
