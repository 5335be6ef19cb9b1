"""The FreeBSD 14 amd64 cross-build of the module, through the project's own CMake build."""
import subprocess
import sys
import sysconfig
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
BUILD = ROOT / "build" / "freebsd"
STUBS = BUILD / "stubs"
CMAKE_TREE = BUILD / "cmake"
CC = HERE / "bin" / "cc"
CXX = HERE / "bin" / "c++"
VENV_BIN = Path(sys.executable).parent


def run(cmd, **kw):
    """Runs cmd with its output on ours; a failure ends the build, naming the command."""
    done = subprocess.run([str(c) for c in cmd], **kw)
    if done.returncode != 0:
        raise SystemExit(f"failed ({done.returncode}): {' '.join(map(str, cmd))}")


def stub_lists():
    """{soname: [(symbol, is_data)]} from tools/freebsd/stubs/SONAME.symbols."""
    lists = {}
    for path in sorted((HERE / "stubs").glob("*.symbols")):
        entries = []
        for line in path.read_text().splitlines():
            words = line.split("#", 1)[0].split()
            if words:
                entries.append((words[0], words[1:] == ["data"]))
        lists[path.name.removesuffix(".symbols")] = entries
    return lists


def stub_assembly(entries):
    lines = []
    for name, is_data in entries:
        if is_data:
            lines += [".data", f".globl {name}", f".type {name}, @object", f".size {name}, 8", f"{name}: .quad 0"]
        else:
            lines += [".text", f".globl {name}", f".type {name}, @function", f"{name}: ret"]
    return "\n".join(lines) + "\n"


def build_stubs():
    """Each list becomes lib*.so with the library's soname, rebuilt when its list changes."""
    STUBS.mkdir(parents=True, exist_ok=True)
    for soname, entries in stub_lists().items():
        source = STUBS / f"{soname}.S"
        text = stub_assembly(entries)
        library = STUBS / (soname.split(".so")[0] + ".so")
        if source.exists() and source.read_text() == text and library.exists():
            continue
        source.write_text(text)
        run([CC, "-shared", "-nostdlib", f"-Wl,-soname,{soname}", "-o", library, source])


def build():
    """Builds the FreeBSD object incrementally and returns its path."""
    build_stubs()
    if not (CMAKE_TREE / "build.ninja").exists():
        run([VENV_BIN / "cmake", "-S", ROOT, "-B", CMAKE_TREE, "-G", "Ninja",
             f"-DCMAKE_MAKE_PROGRAM={VENV_BIN / 'ninja'}",
             f"-DCMAKE_TOOLCHAIN_FILE={HERE / 'toolchain.cmake'}",
             f"-DLUMVIK_FREEBSD_STUBS={STUBS}",
             f"-DPython_EXECUTABLE={sys.executable}",
             # The interpreter's own headers: see python_config_facts in layout.py for why they serve.
             f"-DPython_INCLUDE_DIR={sysconfig.get_path('include')}",
             "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON",
             "-DCMAKE_BUILD_TYPE=Release"])
    run([VENV_BIN / "cmake", "--build", CMAKE_TREE])
    objects = sorted(CMAKE_TREE.glob("_lumvik_bsd*.so"))
    if len(objects) != 1:
        raise SystemExit(f"expected one FreeBSD object in {CMAKE_TREE}, found {[o.name for o in objects]}")
    return objects[0]
