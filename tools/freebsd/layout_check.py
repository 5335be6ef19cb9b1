"""The layout check: the records and constants the module uses, as FreeBSD's own headers lay them
out for the FreeBSD target and as the personality's headers lay them out on Linux."""
import re
import subprocess
import sysconfig
from dataclasses import dataclass, field
from pathlib import Path

import cross_build
import layout_coverage

HERE = Path(__file__).resolve().parent
WORK = cross_build.BUILD / "layout"
PERSONALITY_INCLUDE = cross_build.ROOT / "personality" / "include"


@dataclass(frozen=True)
class Fact:
    what: str  # how a failure names it
    expr: str  # a C++ constant expression
    source: str = "personality"  # where the value FreeBSD's must equal comes from
    call: str = ""  # for a parameter of a call: the function
    parameter: int = 0  # and the parameter's number, from 1


@dataclass
class FactList:
    headers: list = field(default_factory=list)
    facts: list = field(default_factory=list)  # checked against the personality
    python: list = field(default_factory=list)  # checked against pyconfig.h
    records: set = field(default_factory=set)  # "struct kinfo_proc", "cpuset_t"
    members: set = field(default_factory=set)  # every name in a member path
    constants: set = field(default_factory=set)
    calls: set = field(default_factory=set)


MAX_PARAMETERS = 16
# A function's shape, from its type: its number of parameters (100 more for a variadic one), and
# a code per type: its size times 100, 10 more if signed, 1 more if a pointer (void is 0).
SHAPE_HELPERS = """
template <class T> constexpr long long lumvik_type_code() {
    if constexpr (std::is_void_v<T>) return 0;
    else return static_cast<long long>(sizeof(T)) * 100 + (std::is_signed_v<T> ? 10 : 0) + (std::is_pointer_v<T> ? 1 : 0);
}
template <class F> struct lumvik_call;
template <class R, class... A> struct lumvik_call<R(A...)> {
    using result = R;
    using params = std::tuple<A...>;
    static constexpr int arity = sizeof...(A);
};
template <class R, class... A> struct lumvik_call<R(A...) noexcept> : lumvik_call<R(A...)> {};
template <class R, class... A> struct lumvik_call<R(A..., ...)> : lumvik_call<R(A...)> {
    static constexpr int arity = 100 + sizeof...(A);
};
template <class R, class... A> struct lumvik_call<R(A..., ...) noexcept> : lumvik_call<R(A..., ...)> {};
template <class F, int I> constexpr long long lumvik_parameter_code() {
    if constexpr (I < lumvik_call<F>::arity % 100)
        return lumvik_type_code<std::tuple_element_t<I, typename lumvik_call<F>::params>>();
    else
        return 0;
}
""".strip().splitlines()


def call_facts(name):
    shape = f"lumvik_call<decltype({name})>"
    facts = [Fact(f"call {name}: parameters", f"{shape}::arity", call=name),
             Fact(f"call {name}: result", f"lumvik_type_code<{shape}::result>()", call=name)]
    facts += [Fact(f"call {name}: parameter {i}", f"lumvik_parameter_code<decltype({name}), {i - 1}>()",
                   call=name, parameter=i) for i in range(1, MAX_PARAMETERS + 1)]
    return facts


def read_facts(path):
    """The facts of a list such as layout.txt."""
    out = FactList()
    for line in Path(path).read_text().splitlines():
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        kind, args = words[0], words[1:]
        if kind == "include":
            out.headers.append(args[0])
        elif kind == "size":
            out.records.add(" ".join(args))
            out.facts.append(Fact(f"size of {' '.join(args)}", f"sizeof({' '.join(args)})"))
        elif kind == "field":
            record, member = " ".join(args[:-1]), args[-1]
            out.members.update(re.findall(r"[A-Za-z_]\w*", member))
            out.facts.append(Fact(f"offset of {record} {member}", f"offsetof({record}, {member})"))
            out.facts.append(Fact(f"size of {record} {member}", f"sizeof(std::declval<{record} &>().{member})"))
        elif kind == "const":
            out.constants.add(args[0])
            out.facts.append(Fact(args[0], args[0]))
        elif kind == "call":
            out.calls.add(args[0])
            out.facts += call_facts(args[0])
        elif kind == "unchecked":
            out.calls.add(args[0])
            out.constants.add(args[0])
        elif kind == "python":
            rest = " ".join(args[1:])
            out.python.append(Fact(args[0], rest if rest.startswith("alignof(") else f"sizeof({rest})", "pyconfig.h"))
        else:
            raise SystemExit(f"{path}: unknown kind {kind!r} in {line!r}")
    return out


def prologue(headers):
    # pyconfig.h first, as Python.h comes first in every unit of the module: its feature macros
    # shape the system headers on both sides.
    lines = ["#include <pyconfig.h>", *(f"#include <{h}>" for h in headers)]
    lines += ["#include <cstddef>", "#include <cstdint>", "#include <cstdio>", "#include <ctime>",
              "#include <cwchar>", "#include <pthread.h>", "#include <tuple>", "#include <type_traits>",
              "#include <utility>"]
    return lines + SHAPE_HELPERS


def compile_source(compiler, source, lines, flags):
    """Writes and compiles source; returns (ok, compiler output)."""
    source.write_text("\n".join(lines) + "\n")
    done = subprocess.run([*compiler, *flags, str(source)], capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def report(output, source, line_facts):
    """The compiler's complaints about fact lines, each with the fact it concerns."""
    faults, pending, seen = [], None, set()
    for line in output.splitlines():
        m = re.match(rf"{re.escape(str(source))}:(\d+):\d+: (error|note): (.*)", line)
        if not m:
            continue
        number, kind, text = int(m.group(1)), m.group(2), m.group(3)
        fact = line_facts.get(number)
        if kind == "error" and fact and fact.what not in seen:
            seen.add(fact.what)  # the first complaint about a fact is the one that tells
            pending = fact
            if not text.startswith("static assertion failed"):
                faults.append(f"{fact.what}: {text}")
                pending = None
        elif kind == "note" and pending and (v := re.search(r"evaluates to '(.+) == (.+)'", text)):
            faults.append(f"{pending.what}: FreeBSD {v.group(1)}, {pending.source} {v.group(2)}")
            pending = None
    return faults


def check(facts_file=HERE / "layout.txt", personality_include=PERSONALITY_INCLUDE, work=WORK,
          src=cross_build.ROOT / "src", library_calls=frozenset()):
    """(summary, faults): every mismatch, each naming the fact it concerns, and whatever src/ uses
    that the list leaves out (library_calls: the functions the FreeBSD object takes from FreeBSD's
    base libraries)."""
    listed = read_facts(facts_file)
    facts, python = listed.facts, listed.python
    work.mkdir(parents=True, exist_ok=True)
    python_include = sysconfig.get_path("include")
    head = prologue(listed.headers)

    # The personality's answers, from a program built on Linux against its headers.
    body = [f'    std::printf("%lld\\n", static_cast<long long>({f.expr}));' for f in facts]
    linux_source = work / "personality_facts.cpp"
    lines = head + ["int main() {", *body, "}"]
    line_facts = {len(head) + 2 + i: f for i, f in enumerate(facts)}
    program = work / "personality_facts"
    linux_compiler = ["c++", "-std=c++20", "-w", f"-I{personality_include}", f"-I{python_include}"]
    ok, output = compile_source(linux_compiler, linux_source, lines, ["-o", str(program)])
    if not ok:
        faults = report(output, linux_source, line_facts)
        return "", [f"personality: {f}" for f in faults] or [output]
    values = subprocess.run([str(program)], check=True, capture_output=True, text=True).stdout.split()
    # A call's parameters beyond the personality's count are left to its count of parameters.
    arity = {f.call: int(v) % 100 for f, v in zip(facts, values) if f.call and f.what.endswith(": parameters")}
    kept = [(f, v) for f, v in zip(facts, values) if f.parameter <= arity.get(f.call, 0)]
    facts, values = [f for f, _ in kept], [v for _, v in kept]
    uncovered = layout_coverage.check(listed, head, linux_compiler, work, src, library_calls)

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
    mismatches = [] if ok else report(output, freebsd_source, line_facts) or [output]
    return summary, mismatches + uncovered
