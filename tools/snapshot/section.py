"""A section of the snapshot: the module functions it needs, a reader that calls them, and a
pure renderer that turns what was read (now, and the reading before, for rates) into a table."""
from dataclasses import dataclass
from typing import Any, Callable

from rich import box
from rich.table import Table
from rich.text import Text

from .units import printable


@dataclass(frozen=True)
class Reading:
    """What a section's reader returned, with the previous reading (None on the first) and the
    seconds between the two."""
    now: Any
    before: Any = None
    seconds: float = 0.0


@dataclass(frozen=True)
class Section:
    heading: str
    needs: tuple[str, ...]
    read: Callable[[], Any]
    render: Callable[[Reading], Any]
    rates: bool = False  # compares two readings, so the snapshot reads it twice
    live: bool = True  # shown in the refreshing view too (static facts are not)

    def present(self, module):
        return all(hasattr(module, name) for name in self.needs)


class Absent(Exception):
    """A reader's way to say the machine lacks what the section shows (no swap, no battery)."""


# What the module raises for hardware or records a machine does not have.
MISSING = (NotImplementedError, Absent)


class _Table(Table):
    """Every str cell is text from the machine, shown on its one line (a cell meant to span
    lines is handed over as a Text)."""

    def add_row(self, *cells, **options):
        super().add_row(*(printable(c) if isinstance(c, str) else c for c in cells), **options)


def table(*columns, caption=None):
    """A top-like table: bold header, no frame. A column name ending in '>' is right-aligned."""
    t = _Table(box=box.SIMPLE_HEAD, show_edge=False, pad_edge=False, caption=caption,
              caption_justify="left", header_style="bold")
    for name in columns:
        right = name.endswith(">")
        t.add_column(name.rstrip(">"), justify="right" if right else "left", no_wrap=True)
    return t


def pairs(rows):
    """A two-column table of label and value, like the status lines of top."""
    t = Table(box=None, show_header=False, pad_edge=False)
    t.add_column(style="bold", no_wrap=True)
    t.add_column()
    for label, value in rows:
        t.add_row(label, printable(value))
    return t


def note(text):
    return Text(printable(text), style="dim italic")
