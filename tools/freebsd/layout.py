"""The layout check: the records and constants the module uses, as FreeBSD's own headers lay them
out for the FreeBSD target and as the personality's headers lay them out on Linux."""
import re
import subprocess
import sysconfig
from dataclasses import dataclass
from pathlib import Path

import cross_build

HERE = Path(__file__).resolve().parent
WORK = cross_build.BUILD / "layout"
PERSONALITY_INCLUDE = cross_build.ROOT / "personality" / "include"


@dataclass(frozen=True)
class Fact:
    what: str  # how a failure names it
    expr: str  # a C++ constant expression
    source: str = "personality"  # where the value FreeBSD's must equal comes from


def read_facts(path):
    """(headers, facts, interpreter facts) from a fact list such as layout.txt."""
    headers, facts, python = [], [], []
    for line in Path(path).read_text().splitlines():
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        kind, args = words[0], words[1:]
        if kind == "include":
            headers.append(args[0])
        elif kind == "size":
            facts.append(Fact(f"size of {' '.join(args)}", f"sizeof({' '.join(args)})"))
        elif kind == "field":
            record, member = " ".join(args[:-1]), args[-1]
            facts.append(Fact(f"offset of {record} {member}", f"offsetof({record}, {member})"))
            facts.append(Fact(f"size of {record} {member}", f"sizeof(std::declval<{record} &>().{member})"))
        elif kind == "const":
            facts.append(Fact(args[0], args[0]))
        elif kind == "python":
            rest = " ".join(args[1:])
            python.append(Fact(args[0], rest if rest.startswith("alignof(") else f"sizeof({rest})", "pyconfig.h"))
        else:
            raise SystemExit(f"{path}: unknown kind {kind!r} in {line!r}")
    return headers, facts, python


def prologue(headers):
    # pyconfig.h first, as Python.h comes first in every unit of the module: its feature macros
    # shape the system headers on both sides.
    lines = ["#include <pyconfig.h>", *(f"#include <{h}>" for h in headers)]
    lines += ["#include <cstddef>", "#include <cstdint>", "#include <cstdio>", "#include <ctime>",
              "#include <cwchar>", "#include <pthread.h>", "#include <utility>"]
    return lines


def compile_source(compiler, source, lines, flags):
    """Writes and compiles source; returns (ok, compiler output)."""
    source.write_text("\n".join(lines) + "\n")
    done = subprocess.run([*compiler, *flags, str(source)], capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def report(output, source, line_facts):
    """The compiler's complaints about fact lines, each with the fact it concerns."""
    faults, pending = [], None
    for line in output.splitlines():
        m = re.match(rf"{re.escape(str(source))}:(\d+):\d+: (error|note): (.*)", line)
        if not m:
            continue
        number, kind, text = int(m.group(1)), m.group(2), m.group(3)
        fact = line_facts.get(number)
        if kind == "error" and fact:
            pending = fact
            if not text.startswith("static assertion failed"):
                faults.append(f"{fact.what}: {text}")
                pending = None
        elif kind == "note" and pending and (v := re.search(r"evaluates to '(.+) == (.+)'", text)):
            faults.append(f"{pending.what}: FreeBSD {v.group(1)}, {pending.source} {v.group(2)}")
            pending = None
    return faults


def check(facts_file=HERE / "layout.txt", personality_include=PERSONALITY_INCLUDE, work=WORK):
    """(summary, faults): every mismatch, each naming the fact it concerns."""
    headers, facts, python = read_facts(facts_file)
    work.mkdir(parents=True, exist_ok=True)
    python_include = sysconfig.get_path("include")
    head = prologue(headers)

    # The personality's answers, from a program built on Linux against its headers.
    body = [f'    std::printf("%lld\\n", static_cast<long long>({f.expr}));' for f in facts]
    linux_source = work / "personality_facts.cpp"
    lines = head + ["int main() {", *body, "}"]
    line_facts = {len(head) + 2 + i: f for i, f in enumerate(facts)}
    program = work / "personality_facts"
    ok, output = compile_source(["c++", "-std=c++20", "-w", f"-I{personality_include}", f"-I{python_include}"],
                                linux_source, lines, ["-o", str(program)])
    if not ok:
        faults = report(output, linux_source, line_facts)
        return "", [f"personality: {f}" for f in faults] or [output]
    values = subprocess.run([str(program)], check=True, capture_output=True, text=True).stdout.split()

    # FreeBSD's answers, checked against them at compile time for the FreeBSD target.
    asserts = [f'static_assert(static_cast<long long>({f.expr}) == {v}LL, "{f.what}");' for f, v in zip(facts, values)]
    asserts += [f'static_assert({f.expr} == {f.what}, "{f.what}");' for f in python]
    freebsd_source = work / "freebsd_facts.cpp"
    line_facts = {len(head) + 1 + i: f for i, f in enumerate(facts + python)}
    ok, output = compile_source([cross_build.CXX], freebsd_source, head + asserts,
                                ["-std=c++20", "-w", f"-I{HERE / 'include'}", f"-I{python_include}",
                                 "-c", "-o", str(work / "freebsd_facts.o")])
    summary = (f"layout: {len(facts) + len(python)} facts checked ({len(facts)} against the personality, "
               f"{len(python)} of pyconfig.h)")
    return summary, [] if ok else report(output, freebsd_source, line_facts) or [output]
