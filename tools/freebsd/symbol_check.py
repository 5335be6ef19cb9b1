"""The symbol check of the FreeBSD object: what it takes from which library, and what it exports."""
import fnmatch
import os
import re
import sys
from collections import defaultdict
from pathlib import Path

import cross_build
import elf_dynamic as elf

HERE = Path(__file__).resolve().parent
PYTHON_API = "the Python C API"
CXX_RUNTIME = ("libc++.so.1", "libcxxrt.so.1", "libgcc_s.so.1")


def read_list():
    libraries, forbidden = [], []
    for line in (HERE / "symbols.txt").read_text().splitlines():
        words = line.split("#", 1)[0].split()
        if words:
            {"library": libraries, "forbidden": forbidden}[words[0]].append(words[1])
    return libraries, forbidden


def zig_stub_folder():
    """The folder of the toolchain's FreeBSD libc stubs, in the cache its compiler wrapper uses."""
    cache = os.environ.get("ZIG_GLOBAL_CACHE_DIR") or Path(
        os.environ.get("LUMVIK_CACHE") or Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache") / "lumvik-bsd"
    ) / "zig"
    stubs = sorted(Path(cache).glob("o/*/libc.so.7"), key=lambda p: p.stat().st_mtime)
    if not stubs:
        raise SystemExit(f"no FreeBSD libc stubs under {cache}")
    return stubs[-1].parent


def library_file(soname, stub_sonames, zig_folder):
    if soname in stub_sonames:
        return cross_build.STUBS / (soname.split(".so")[0] + ".so")
    return zig_folder / soname


def declared_exports(src=cross_build.ROOT / "src"):
    """The names the module's sources mark for export, and its entry point."""
    names = set()
    for path in Path(src).rglob("*"):
        if path.suffix not in (".h", ".cpp"):
            continue
        # Declarations only: the macro's own definition is no export.
        text = re.sub(r"^\s*#.*$", "", path.read_text(), flags=re.M)
        names.update(m.group(1) for m in re.finditer(r"\bLUMVIK_EXPORT\b[^;(=\[{]*?\b(\w+)\s*[;(=\[]", text))
        names.update(re.findall(r"\bPyMODINIT_FUNC\s+(\w+)\s*\(", text))
    return names


def check(module, declared=None):
    """(summary, faults, taken): what the module takes from which library, everything unexpected,
    and {library: names taken from it}. declared: the names it should export, by default those
    src/ declares."""
    libraries, forbidden = read_list()
    stub_sonames = set(cross_build.stub_lists())
    zig_folder = zig_stub_folder()
    faults = []

    needed = elf.needed(module)
    for soname in needed:
        if soname not in libraries:
            faults.append(f"NEEDED {soname}: not a library the module may need")
    provides = {}
    for soname in needed:
        path = library_file(soname, stub_sonames, zig_folder)
        if path.exists():
            provides[soname] = {s.name for s in elf.dynamic_symbols(path) if s.defined}
    python = {s.name for s in elf.dynamic_symbols(Path(os.path.realpath(sys.executable))) if s.defined}

    symbols = elf.dynamic_symbols(module)
    taken = defaultdict(set)
    for sym in symbols:
        if any(fnmatch.fnmatchcase(sym.name, glob) for glob in forbidden):
            faults.append(f"{'exports' if sym.defined else 'references'} {sym.name}: forbidden in a FreeBSD object")
        if sym.defined:
            continue
        owner = sym.library or next((lib for lib in needed if sym.name in provides.get(lib, ())), "")
        if not owner and sym.name in python:
            owner = PYTHON_API
        if owner:
            taken[owner].add(sym.name)
        else:
            faults.append(f"undefined {sym.name}: in no FreeBSD library the module needs, nor in the Python C API")

    exported = {s.name for s in symbols if s.defined}
    declared = declared_exports() if declared is None else set(declared)
    faults += [f"exports {name}: not declared LUMVIK_EXPORT in src/" for name in sorted(exported - declared)]
    faults += [f"does not export {name}: declared LUMVIK_EXPORT in src/" for name in sorted(declared - exported)]

    summary = (f"symbols: {len(exported)} exported; {sum(map(len, taken.values()))} undefined, by library: "
               + ", ".join(f"{lib} {len(names)}" for lib, names in sorted(taken.items())))
    return summary, faults, dict(taken)


def base_system_calls(taken):
    """The names taken from FreeBSD's base libraries, not from the C++ runtime or the interpreter."""
    return {name for lib, names in taken.items() if lib not in CXX_RUNTIME + (PYTHON_API,) for name in names}
