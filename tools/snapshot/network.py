"""Interfaces like ifconfig, and their traffic like netstat -w."""
from collections import defaultdict

from rich.text import Text

import _lumvik_bsd as m

from .section import Section, table
from .units import size, size_rate

AF_INET, AF_INET6 = 2, 28
FAMILY_WORDS = {AF_INET: "inet", AF_INET6: "inet6", m.AF_LINK: "ether"}
DUPLEX_WORDS = {2: "full-duplex", 1: "half-duplex"}


def read_interfaces():
    addresses = defaultdict(list)
    for name, family, address, netmask, broadcast, peer in m.net_if_addrs():
        addresses[name].append((family, address, netmask, broadcast, peer))
    names = sorted(set(m.net_io_counters()) | set(addresses))
    return {name: dict(flags=m.net_if_flags(name), running=m.net_if_is_running(name), mtu=m.net_if_mtu(name),
                       media=m.net_if_duplex_speed(name), addresses=addresses.get(name, []))
            for name in names}


def address_line(family, address, netmask, broadcast, peer):
    """One address as ifconfig writes it: 'inet 192.0.2.2 netmask 255.255.255.0 broadcast ...'."""
    words = [FAMILY_WORDS.get(family, f"family {family}"), address]
    if netmask:
        words += ["netmask", netmask]
    if broadcast:
        words += ["broadcast", broadcast]
    if peer:
        words += ["-->", peer]
    return " ".join(words)


def media_text(duplex, speed):
    if not speed and not duplex:
        return "-"
    return " ".join(w for w in (f"{speed} Mbit/s" if speed else "", DUPLEX_WORDS.get(duplex, "")) if w)


def render_interfaces(reading):
    t = table("INTERFACE", "FLAGS", "MTU>", "MEDIA", "STATUS", "ADDRESSES")
    for name, i in reading.now.items():
        t.add_row(name, f"<{','.join(i['flags']).upper()}>", str(i["mtu"]), media_text(*i["media"]),
                  "active" if i["running"] else "no carrier",
                  Text("\n".join(address_line(*a) for a in i["addresses"]) or "-"))
    return t


def render_traffic(reading):
    now, before, seconds = reading.now, reading.before or {}, reading.seconds
    t = table("INTERFACE", "IN/S>", "OUT/S>", "IN>", "OUT>", "PACKETS IN>", "PACKETS OUT>", "ERRS IN>",
              "ERRS OUT>", "DROPS IN>")
    for name, (sent, received, psent, preceived, ierrs, oerrs, idrops, _) in sorted(now.items()):
        old = before.get(name)
        t.add_row(name, size_rate(received, old and old[1], seconds), size_rate(sent, old and old[0], seconds),
                  size(received), size(sent), str(preceived), str(psent), str(ierrs), str(oerrs), str(idrops))
    return t


SECTIONS = [
    Section("Interfaces", ("net_if_addrs", "net_io_counters", "net_if_flags", "net_if_is_running", "net_if_mtu",
                           "net_if_duplex_speed"), read_interfaces, render_interfaces, live=False),
    Section("Network traffic", ("net_io_counters",), lambda: m.net_io_counters(), render_traffic, rates=True),
]
