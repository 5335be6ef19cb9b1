"""Interfaces against what Linux says about them: a veth pair and a tun device that each test
creates in a network namespace of its own, and the host's own counters."""
import concurrent.futures
import ipaddress
import json
import os
import shutil
import socket
import subprocess
import uuid

import pytest

import _lumvik_bsd as m
from children import wait_for
from truth import read_lines

FLAG_ORDER = ["up", "broadcast", "debug", "loopback", "pointopoint", "running", "noarp", "promisc", "allmulti",
              "multicast", "oactive", "simplex", "link0", "link1", "link2"]
IP_FLAGS = {"UP": "up", "BROADCAST": "broadcast", "LOOPBACK": "loopback", "POINTOPOINT": "pointopoint",
            "NOARP": "noarp", "PROMISC": "promisc", "ALLMULTI": "allmulti", "MULTICAST": "multicast"}
AF_INET, AF_INET6, AF_LINK = 2, 28, 18


class Namespace:
    """A network namespace of the test's own: `ip` commands in it, and module calls from a thread
    that entered it (sockets, netlink and /proc/thread-self/net then see it)."""

    def __init__(self):
        self.name = f"lumvik-{os.getpid()}-{uuid.uuid4().hex[:8]}"
        done = subprocess.run(["ip", "netns", "add", self.name], capture_output=True, text=True)
        if done.returncode != 0:
            pytest.skip(f"network namespaces are refused here: {done.stderr.strip()}")
        self._pool = concurrent.futures.ThreadPoolExecutor(1, initializer=self._enter)

    def _enter(self):
        fd = os.open(f"/run/netns/{self.name}", os.O_RDONLY)
        try:
            os.setns(fd, os.CLONE_NEWNET)
        finally:
            os.close(fd)

    def call(self, fn, *args):
        return self._pool.submit(fn, *args).result(timeout=60)

    def ip(self, *args):
        subprocess.run(["ip", "-n", self.name, *args], check=True, capture_output=True, text=True)

    def links(self):
        """`ip -j addr`: every link with its addresses, by name."""
        out = subprocess.run(["ip", "-j", "-n", self.name, "addr"], check=True, capture_output=True, text=True)
        return {link["ifname"]: link for link in json.loads(out.stdout)}

    def sysfs(self, path):
        """A /sys/class/net file as the namespace shows it (ip netns exec mounts its own sysfs)."""
        done = subprocess.run(["ip", "netns", "exec", self.name, "cat", path], capture_output=True, text=True)
        return done.stdout.strip() if done.returncode == 0 else None

    def close(self):
        self._pool.shutdown()
        subprocess.run(["ip", "netns", "del", self.name], capture_output=True)


@pytest.fixture
def ns():
    if shutil.which("ip") is None:
        pytest.skip("needs iproute2's ip")
    n = Namespace()
    try:
        yield n
    finally:
        n.close()


def running(link):
    return "UP" in link["flags"] and link["operstate"] in ("UP", "UNKNOWN")


def build(ns):
    """va (with a known MAC, MTU and addresses) and vb, a veth pair, both up; tun0 point-to-point."""
    ns.ip("link", "add", "va", "type", "veth", "peer", "name", "vb")
    for name in ("va", "vb"):
        ns.ip("link", "set", name, "addrgenmode", "none")  # no link-local address appears later
    ns.ip("link", "set", "va", "address", "02:00:00:00:aa:01", "mtu", "1400")
    ns.ip("addr", "add", "10.77.0.1/24", "brd", "+", "dev", "va")
    ns.ip("addr", "add", "fd77::1/64", "dev", "va", "nodad")
    ns.ip("addr", "add", "fe80::77/64", "dev", "va", "nodad")
    ns.ip("tuntap", "add", "dev", "tun0", "mode", "tun")
    ns.ip("addr", "add", "10.78.0.1", "peer", "10.78.0.2", "dev", "tun0")
    for name in ("va", "vb", "tun0", "lo"):
        ns.ip("link", "set", name, "up")
    wait_for(lambda: all(running(ns.links()[n]) for n in ("va", "vb", "lo")), timeout=20)


def expected_addresses(links):
    out = []
    for name, link in links.items():
        if link.get("address") and link["link_type"] not in ("loopback", "none"):
            out.append((name, AF_LINK, link["address"], None, None, None))
        for a in link["addr_info"]:
            family = AF_INET if a["family"] == "inet" else AF_INET6
            mask = str(ipaddress.ip_network(f"{a['local']}/{a['prefixlen']}", strict=False).netmask)
            broadcast = a.get("broadcast") if "BROADCAST" in link["flags"] and family == AF_INET else None
            peer = a.get("address") if "POINTOPOINT" in link["flags"] else None
            local = a["local"] + (f"%{name}" if a["scope"] == "link" else "")  # a link-local one names its link
            out.append((name, family, local, mask, broadcast, peer))
    return sorted(out, key=repr)


def test_addresses_match_ip(ns):
    build(ns)
    got = ns.call(m.net_if_addrs)
    assert sorted(got, key=repr) == expected_addresses(ns.links())
    assert ("va", AF_LINK, "02:00:00:00:aa:01", None, None, None) in got
    assert ("tun0", AF_INET, "10.78.0.1", "255.255.255.255", None, "10.78.0.2") in got
    assert ("va", AF_INET6, "fe80::77%va", "ffff:ffff:ffff:ffff::", None, None) in got


@pytest.mark.parametrize("name, change", [
    ("va", []),
    ("va", ["promisc", "on", "allmulticast", "on", "arp", "off"]),
    ("va", ["down"]),
    ("tun0", []),
    ("lo", []),
    ("lo", ["down"]),
])
def test_properties_match_ip(ns, name, change):
    build(ns)
    if change:
        ns.ip("link", "set", name, *change)
        wait_for(lambda: ("UP" in ns.links()[name]["flags"]) == ("down" not in change))
    link = ns.links()[name]
    names = {IP_FLAGS[f] for f in link["flags"] if f in IP_FLAGS}
    names |= {"running"} if running(link) else set()
    names |= {"simplex"} if link["link_type"] == "ether" else set()
    speed, duplex = ns.sysfs(f"/sys/class/net/{name}/speed"), ns.sysfs(f"/sys/class/net/{name}/duplex")
    media = [{"full": 2, "half": 1}.get(duplex, 0), int(speed)] if link["link_type"] == "ether" and speed else [0, 0]

    assert ns.call(m.net_if_flags, name) == [f for f in FLAG_ORDER if f in names]
    assert ns.call(m.net_if_is_running, name) is running(link)
    assert ns.call(m.net_if_mtu, name) == link["mtu"]
    assert ns.call(m.net_if_duplex_speed, name) == media


def test_a_name_that_is_not_utf8_is_kept(ns):
    name = os.fsdecode(b"v\xffa")
    ns.ip("link", "add", name, "type", "veth", "peer", "name", "vq")
    assert name in ns.call(m.net_io_counters)
    assert (name, AF_LINK) in {entry[:2] for entry in ns.call(m.net_if_addrs)}


def proc_net_dev(path):
    """{name: (obytes, ibytes, opackets, ipackets, ierrs, oerrs, idrops)} from a /proc/net/dev file."""
    out = {}
    for line in read_lines(path)[2:]:
        name, fields = line.split(":", 1)
        v = [int(x) for x in fields.split()]
        out[name.strip()] = (v[8], v[0], v[9], v[1], v[2], v[10], v[3])
    return out


def check_counters(path):
    before = proc_net_dev(path)
    got = m.net_io_counters()
    after = proc_net_dev(path)
    assert set(got) == set(before) == set(after)
    for name, counters in got.items():
        assert counters[7] == 0
        assert all(b <= g <= a for b, g, a in zip(before[name], counters[:7], after[name])), name
    return got


def test_counters_match_proc_net_dev_in_namespace(ns):
    build(ns)

    def send_and_count(n):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
            for _ in range(n):
                s.sendto(b"x" * 100, ("10.77.0.255", 9))
        return check_counters("/proc/thread-self/net/dev")

    got = ns.call(send_and_count, 10)
    assert got["va"][2] >= 10 and got["va"][0] >= 10 * 100
    assert got["vb"][3] >= 10


def test_counters_match_proc_net_dev_on_host():
    check_counters("/proc/self/net/dev")


def test_many_threads_at_once():
    name = next(iter(m.net_io_counters()))
    calls = [(m.net_io_counters, ()), (m.net_if_addrs, ()), (m.net_if_flags, (name,)), (m.net_if_mtu, (name,)),
             (m.net_if_duplex_speed, (name,))]
    alone = [fn(*args) for fn, args in calls]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        results = list(pool.map(lambda i: calls[i % 5][0](*calls[i % 5][1]), range(200)))
    for i, got in enumerate(results):
        assert type(got) is type(alone[i % 5])
        if i % 5 in (2, 3, 4):  # the properties of one interface do not change meanwhile
            assert got == alone[i % 5]
