"""What the dynamic section of an ELF object says, read through binutils' readelf."""
import re
import subprocess
from dataclasses import dataclass


@dataclass(frozen=True)
class Symbol:
    name: str
    defined: bool
    library: str  # for a versioned undefined symbol: the file its version names, else ""


def _readelf(path, *flags):
    return subprocess.run(["readelf", "-W", *flags, str(path)], check=True, capture_output=True, text=True).stdout


def needed(path):
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", _readelf(path, "-d"))


def _version_files(path):
    """{version index: library file} from the version needs section."""
    files, current = {}, None
    for line in _readelf(path, "-V").splitlines():
        if m := re.search(r"File: (\S+)", line):
            current = m.group(1)
        elif (m := re.search(r"Name: \S+\s+Flags: \S+\s+Version: (\d+)", line)) and current:
            files[int(m.group(1))] = current
    return files


def dynamic_symbols(path):
    """The global and weak symbols of the dynamic symbol table, hidden ones left out."""
    files = _version_files(path)
    symbols = []
    for line in _readelf(path, "--dyn-syms").splitlines():
        fields = line.split(None, 7)
        if len(fields) < 8 or not fields[0].rstrip(":").isdigit():
            continue
        _, _, _, _, bind, vis, ndx, rest = fields
        if bind not in ("GLOBAL", "WEAK") or vis != "DEFAULT":
            continue
        name, _, tail = rest.partition(" ")
        version = re.search(r"\((\d+)\)", tail)
        library = files.get(int(version.group(1)), "") if version else ""
        symbols.append(Symbol(re.split(r"@@?", name)[0], ndx != "UND", library))
    return symbols
