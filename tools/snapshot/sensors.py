"""Battery and CPU temperatures where the machine has them; boot time and uptime; users."""
import time

import _lumvik_bsd as m

from .section import MISSING, Section, note, pairs, table
from .units import duration


def _or_missing(call, *args):
    try:
        return call(*args)
    except MISSING as exc:
        return exc


def read_sensors():
    cpus = m.cpu_count_logical() or 0
    return dict(battery=_or_missing(m.sensors_battery),
                temperatures=[_or_missing(m.sensors_cpu_temperature, cpu) for cpu in range(cpus)])


def battery_line(battery):
    if isinstance(battery, Exception):
        return f"none ({battery})"
    life, minutes, acline = battery
    power = "on AC power" if acline == 1 else "on battery"
    remaining = "" if minutes < 0 else f", {minutes // 60}:{minutes % 60:02d} left"
    return f"{life}% {power}{remaining}"


def render_sensors(reading):
    rows = [("battery", battery_line(reading.now["battery"]))]
    temps = reading.now["temperatures"]
    if temps and all(isinstance(t, Exception) for t in temps):
        rows.append(("CPU temperature", f"none ({temps[0]})"))  # one line for a machine without sensors
    else:
        rows += [(f"cpu{cpu} temperature", temperature_line(t)) for cpu, t in enumerate(temps)]
    return pairs(rows)


def temperature_line(temp):
    if isinstance(temp, Exception):
        return f"none ({temp})"
    current, critical = temp
    return f"{current} C" if critical == -273 else f"{current} C, critical {critical} C"  # -273: none known


def read_boot():
    return dict(boot=m.boot_time(), now=time.time())


def render_boot(reading):
    boot, now = reading.now["boot"], reading.now["now"]
    return pairs([("booted", time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(boot))),
                  ("up", duration(now - boot))])


def read_users():
    return m.users()


def render_users(reading):
    if not reading.now:
        return note("nobody logged in")
    t = table("USER", "TTY", "FROM", "LOGIN@", "PID>")
    for name, tty, host, login, pid in reading.now:
        t.add_row(name, tty, host, time.strftime("%Y-%m-%d %H:%M", time.localtime(login)), str(pid))
    return t


SECTIONS = [
    Section("Sensors", ("sensors_battery", "sensors_cpu_temperature", "cpu_count_logical"), read_sensors,
            render_sensors, live=False),
    Section("Boot time and uptime", ("boot_time",), read_boot, render_boot, live=False),  # the header has it
    Section("Users", ("users",), read_users, render_users, live=False),
]
