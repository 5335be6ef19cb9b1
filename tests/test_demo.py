"""The demo: one run with its output not a terminal, and its renderers on made-up values."""
import io
import subprocess
import sys
from pathlib import Path

import pytest
from rich.console import Console

TOOLS = Path(__file__).resolve().parent.parent / "tools"
sys.path.insert(0, str(TOOLS))

from snapshot import app, connections, cpu, disks, network, processes, sensors, units  # noqa: E402
from snapshot.section import Reading  # noqa: E402


def text(renderable):
    out = Console(file=io.StringIO(), width=200, color_system=None, **app.PLAIN)
    out.print(renderable)
    return out.file.getvalue()


@pytest.mark.parametrize("args", [[], ["--live"]])
def test_demo_runs_without_terminal(args):
    run = subprocess.run([sys.executable, str(TOOLS / "demo.py"), "--warmup", "0.1", *args],
                         capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
    assert run.returncode == 0, run.stderr
    headings = [s.heading for s in app.present()]
    assert headings and all(f"\n{h}\n" in run.stdout for h in headings), run.stdout
    assert "this section failed" not in run.stdout and "Traceback" not in run.stderr
    assert ("needs a terminal" in run.stderr) == ("--live" in args)


@pytest.mark.parametrize("fn,args,expected", [
    (units.size, (0,), "0B"),
    (units.size, (1023,), "1023B"),
    (units.size, (1024,), "1.0K"),
    (units.size, (1536,), "1.5K"),
    (units.size, (10 * 1024 - 52,), "9.9K"),
    (units.size, (10 * 1024 - 20,), "10K"),
    (units.size, (1024 ** 2 - 1,), "1.0M"),
    (units.size, (5 * 1024 ** 4,), "5.0T"),
    (units.size_rate, (3072, 1024, 2.0), "1.0K/s"),
    (units.size_rate, (100, None, 2.0), "-"),
    (units.size_rate, (100, 200, 2.0), "-"),
    (units.duration, (59,), "00:00:59"),
    (units.duration, (86400 + 3 * 3600 + 120,), "1 day, 03:02"),
    (units.duration, (3 * 86400,), "3 days, 00:00"),
    (units.cpu_time, (125.9,), "2:05"),
    (units.pct, (12.345,), " 12.3%"),
    (units.printable, ("python -c 'a\nb'",), "python -c 'a?b'"),
    (units.printable, ("caf\udce9 caf\u00e9",), "caf? caf\u00e9"),  # an undecodable byte, a letter
])
def test_units(fn, args, expected):
    assert fn(*args) == expected


def proc(pid, cpu_seconds, started=100.0, state=None, command=None):
    return processes.Proc(pid, state or processes.m.SSLEEP, 0, started, cpu_seconds, 4096, 8192, 0, 1, 0,
                          command or f"cmd{pid}")


@pytest.mark.parametrize("before,now,share", [
    (proc(7, 1.0), proc(7, 1.5), 25.0),             # half a second of CPU in two seconds
    (None, proc(7, 1.5), 0.0),                      # nothing to compare with
    (proc(7, 1.0), proc(7, 1.5, started=200.0), 0.0),  # the pid was reused
    (proc(7, 2.0), proc(7, 1.0), 0.0),              # a counter going backwards is no rate
])
def test_process_cpu_share(before, now, share):
    old = {before.pid: before} if before else None
    assert processes.cpu_share(now, old, 2.0) == share


def test_process_table_orders_by_cpu_and_counts_states():
    before = {1: proc(1, 0.0), 2: proc(2, 0.0)}
    now = {1: proc(1, 0.2, command="python -c 'import os\nos.pause()'"), 2: proc(2, 1.0, state=processes.m.SRUN)}
    drawn = text(processes.render_processes(Reading(now, before, 1.0)))
    assert "2 processes: 1 sleeping, 1 running" in drawn and "import os?os.pause()" in drawn
    assert len(drawn.splitlines()) == 5  # summary, column names, rule, one line per process
    assert drawn.index("cmd2") < drawn.index("import os") and "100.0%" in drawn and "20.0%" in drawn


@pytest.mark.parametrize("old,now,expected", [
    # 2 s between readings: operations, bytes, ms per operation, percent busy
    ((10, 20, 4096, 8192, 50, 80, 1000), (30, 20, 8192, 8192, 70, 80, 2000),
     dict(reads=10.0, writes=0.0, rbytes=2048.0, wbytes=0.0, ms_read=1.0, ms_write=0.0, busy=50.0)),
    ((0, 0, 0, 0, 0, 0, 0), (1, 1, 0, 0, 0, 0, 9000), dict(reads=0.5, writes=0.5, rbytes=0.0, wbytes=0.0,
                                                           ms_read=0.0, ms_write=0.0, busy=100.0)),
    (None, (1, 1, 1, 1, 1, 1, 1), None),
    ((5, 0, 0, 0, 0, 0, 0), (1, 0, 0, 0, 0, 0, 0), None),  # the device came back with new counters
])
def test_disk_rates(old, now, expected):
    assert disks.io_rates(now, old, 2.0) == expected


@pytest.mark.parametrize("fn,value,expected", [
    (sensors.battery_line, (80, 95, 0), "80% on battery, 1:35 left"),
    (sensors.battery_line, (100, -1, 1), "100% on AC power"),
    (sensors.battery_line, NotImplementedError("no battery"), "none (no battery)"),
    (sensors.temperature_line, (50, 100), "50 C, critical 100 C"),
    (sensors.temperature_line, (-3, -273), "-3 C"),
])
def test_sensor_lines(fn, value, expected):
    assert fn(value) == expected


def test_mounts_show_usage_and_options_and_hide_empty_file_systems():
    mounts = [("/dev/ada0p2", "/", "ufs", "rw,noatime", (100 * 2 ** 30, 30 * 2 ** 30, 60 * 2 ** 30)),
              ("procfs", "/proc", "procfs", "rw", (0, 0, 0)),
              ("srv:/export", "/net", "nfs", "rw", None)]
    drawn = text(disks.render_mounts(Reading(mounts)))
    assert "/dev/ada0p2" in drawn and "100G" in drawn and "33%" in drawn and "rw,noatime" in drawn
    assert "/proc" not in drawn and "1 more without blocks" in drawn and "/net" in drawn


@pytest.mark.parametrize("now,before,expected", [
    # (user, nice, system, idle, irq) in, (user, nice, system, irq, idle) percent out
    ((3.0, 0.0, 1.0, 15.0, 0.0), (1.0, 0.0, 0.0, 8.0, 0.0), (20.0, 0.0, 10.0, 0.0, 70.0)),
    ((1.0, 1.0, 1.0, 1.0, 0.0), None, (25.0, 25.0, 25.0, 0.0, 25.0)),  # since boot
    ((1.0, 0.0, 0.0, 1.0, 0.0), (1.0, 0.0, 0.0, 1.0, 0.0), (0.0,) * 5),  # no time passed
])
def test_cpu_use(now, before, expected):
    assert cpu.cpu_use(now, before) == pytest.approx(expected)


@pytest.mark.parametrize("now,before,wrap,rate", [
    (10, 4, None, 3.0),
    (4, 10, None, None),
    (4, 2 ** 32 - 2, 2 ** 32, 3.0),  # a 32-bit counter that wrapped between the readings
])
def test_counter_rates(now, before, wrap, rate):
    assert units.per_second(now, before, 2.0, wrap=wrap) == rate


def test_topology_lines():
    xml = ('<groups><group level="1" cache-level="3"><cpu count="4" mask="f">0, 1, 2, 3</cpu><children>'
            '<group level="2" cache-level="2"><cpu count="2" mask="3">0, 1</cpu>'
            '<flags><flag name="THREAD">THREAD group</flag><flag name="SMT">SMT group</flag></flags></group>'
            '</children></group></groups>')
    assert cpu.topology_lines(xml) == ["level 1, cache level 3: CPUs 0, 1, 2, 3",
                                        "  level 2, cache level 2: CPUs 0, 1 (THREAD, SMT)"]


@pytest.mark.parametrize("fn,args,expected", [
    (network.address_line, (2, "192.0.2.2", "255.255.255.0", "192.0.2.255", None),
     "inet 192.0.2.2 netmask 255.255.255.0 broadcast 192.0.2.255"),
    (network.address_line, (28, "fd00::1", None, None, "fd00::2"), "inet6 fd00::1 --> fd00::2"),
    (network.address_line, (18, "02:fc:00:00:00:01", None, None, None), "ether 02:fc:00:00:00:01"),
    (network.media_text, (2, 1000), "1000 Mbit/s full-duplex"),
    (network.media_text, (0, 0), "-"),
])
def test_interface_words(fn, args, expected):
    assert fn(*args) == expected


def test_traffic_rates_between_readings():
    before = {"em0": (1000, 4096, 1, 2, 0, 0, 0, 0)}
    now = {"em0": (3048, 4096 + 2 * 1024 ** 2, 3, 9, 1, 0, 2, 0), "lo0": (0,) * 8}
    drawn = text(network.render_traffic(Reading(now, before, 2.0)))
    em0 = next(line for line in drawn.splitlines() if line.startswith("em0"))
    assert em0.split()[:3] == ["em0", "1.0M/s", "1.0K/s"] and "-" in drawn.split("lo0")[1]


@pytest.mark.parametrize("height", [20, 45, 80])
def test_live_frame_fills_the_screen_with_processes(height):
    screen = Console(file=io.StringIO(), width=160, height=height, color_system=None, **app.PLAIN)
    sections = app.live_sections()
    now, _ = app.read(sections)
    lines = screen.render_lines(app.live_frame(screen, sections, now, None, 1.0, app.header()), pad=False)
    assert len(lines) <= height and sections[-1].heading == "Processes"


LISTEN, ESTABLISHED, NONE = connections.m.TCPS_LISTEN, connections.m.TCPS_ESTABLISHED, 128
SOCKETS = [
    (3, 2, 1, ("0.0.0.0", 22), (), LISTEN, 10),
    (4, 28, 1, ("::1", 631), (), LISTEN, 11),
    (5, 2, 1, ("192.0.2.2", 22), ("192.0.2.9", 50000), ESTABLISHED, 12),
    (6, 2, 2, ("0.0.0.0", 53), (), NONE, 13),
    (7, 2, 2, ("192.0.2.2", 40000), ("192.0.2.1", 53), NONE, 14),  # a connected UDP socket listens not
    (8, 1, 1, "/var/run/log", "", NONE, 15),
    (9, 1, 2, "", "", NONE, 15),
]


def test_listening_sockets_and_counts_by_state():
    drawn = text(connections.render_connections(Reading(dict(sockets=SOCKETS, owners={10: ("root", "sshd")}))))
    assert "TCP 2 LISTEN, 1 ESTABLISHED; UDP 2; unix 1 stream, 1 datagram" in drawn
    listed = [line.split() for line in drawn.splitlines() if line.split() and line.split()[-1][-2:].isdigit()]
    assert [words[-2:] for words in listed] == [["tcp4", "*:22"], ["udp4", "*:53"], ["tcp6", "[::1]:631"]]
    assert listed[0][:4] == ["root", "sshd", "10", "3"] and listed[1][:2] == ["?", "?"]
