"""How figures read: sizes as top and df -h print them, rates, percentages and durations.
Pure functions of their arguments."""

_UNITS = "BKMGTPE"


def size(n):
    """Bytes in binary units, three significant figures at most: 0B, 1023B, 1.5K, 10K, 2.0G."""
    value, unit = float(n), 0
    while unit < len(_UNITS) - 1 and round(value, 1 if value < 10 else 0) >= 1024:
        value /= 1024
        unit += 1
    if unit == 0:
        return f"{round(n)}B"
    return f"{value:.1f}{_UNITS[unit]}" if round(value, 1) < 10 else f"{value:.0f}{_UNITS[unit]}"


def per_second(now, before, seconds, wrap=None):
    """Rate of a counter between two readings; None when there is nothing to compare with or
    the counter went backwards (a device that vanished and came back), unless it is a counter
    that wraps at `wrap`."""
    if before is None or seconds <= 0:
        return None
    if now < before:
        if wrap is None:
            return None
        now += wrap
    return (now - before) / seconds


def size_rate(now, before, seconds):
    rate = per_second(now, before, seconds)
    return "-" if rate is None else f"{size(rate)}/s"


def percent(part, whole):
    return 0.0 if whole <= 0 else 100.0 * part / whole


def pct(value):
    return f"{value:5.1f}%"


def duration(seconds):
    """Uptime as uptime(1) says it: 3 days, 04:05 or 04:05:06 below a day."""
    seconds = int(seconds)
    days, rest = divmod(seconds, 86400)
    hours, rest = divmod(rest, 3600)
    minutes, secs = divmod(rest, 60)
    if days:
        return f"{days} day{'s' if days != 1 else ''}, {hours:02d}:{minutes:02d}"
    return f"{hours:02d}:{minutes:02d}:{secs:02d}"


def cpu_time(seconds):
    """Process CPU time as top prints it: minutes and seconds."""
    minutes, secs = divmod(int(seconds), 60)
    return f"{minutes}:{secs:02d}"


def printable(text):
    """Text from the machine made safe to show on one line, as ps does: a newline in an
    argument, a control character or an undecodable byte (kept by the file-system decoding as
    a lone surrogate, which no terminal encoding can write) becomes '?'."""
    if text.isprintable():
        return text
    return "".join(ch if ch.isprintable() else "?" for ch in text)
