"""What the module's sources use of the records and constants in the FreeBSD headers that the
layout check's list leaves out, so a new field or flag cannot go unchecked."""
import re
import subprocess
from pathlib import Path

_NOISE = re.compile(r"//[^\n]*|/\*.*?\*/|\"(?:\\.|[^\"\\\n])*\"|'(?:\\.|[^'\\\n])*'", re.S)


def source_text(src):
    """The module's sources without their comments and string literals."""
    return "\n".join(_NOISE.sub(" ", p.read_text()) for p in sorted(Path(src).rglob("*")) if p.suffix in (".h", ".cpp"))


def candidates(text):
    """(records, member names, upper-case names) that the sources use."""
    defined = set(re.findall(r"\bstruct\s+(\w+)\s*(?:final\s*)?[{:]", text))
    records = {f"struct {r}" for r in re.findall(r"\bstruct\s+(\w+)", text)} - {f"struct {r}" for r in defined}
    records = {r for r in records if not r.startswith(("struct Py", "struct _"))}
    members = set(re.findall(r"(?:\.|->)\s*([A-Za-z_]\w*)\b(?!\s*\()", text))
    constants = set(re.findall(r"\b([A-Z_][A-Z0-9_]{2,})\b(?!\s*\()", text))
    return records, members, constants


def probe_lines(listed, members, constants):
    """A main() that prints "member RECORD NAME" for each record of the list that has a member of
    that name, and "const NAME" for each name the headers define as a macro."""
    names = sorted(members - listed.members)
    # Templates, so that a record without the member is an answer rather than an error.
    lines = [f"template <class R> constexpr bool has_{n} = requires(R &r) {{ r.{n}; }};" for n in names]
    lines.append("int main() {")
    for record in sorted(listed.records):
        lines += [f'    if (has_{n}<{record}>) std::puts("member {record}\\t{n}");' for n in names]
    for name in sorted(constants - listed.constants):
        lines += [f"#ifdef {name}", f'    std::puts("const {name}");', "#endif"]
    return lines + ["}"]


def faults(listed, probe_output, records, calls):
    out = [f"src/ uses {r}, which layout.txt does not check (add its size and the fields read)"
           for r in sorted(records - listed.records)]
    out += [f"src/ calls {c}, whose prototype layout.txt does not check (add: call {c})"
            for c in sorted(calls - listed.calls)]
    for line in probe_output.splitlines():
        kind, _, rest = line.partition(" ")
        if kind == "member":
            record, name = rest.split("\t")
            out.append(f"src/ reads {name} of {record}, which layout.txt does not check (add: field {record} {name})")
        elif kind == "const":
            out.append(f"src/ uses {rest}, which layout.txt does not check (add: const {rest})")
    return out


def check(listed, head, compiler, work, src, library_calls=frozenset()):
    """The faults of the list's coverage of src/, from a probe built against the personality.
    library_calls: the functions the FreeBSD object takes from FreeBSD's base libraries."""
    text = source_text(src)
    records, members, constants = candidates(text)
    calls = set(library_calls) & set(re.findall(r"\b([A-Za-z_]\w*)\s*\(", text))
    source, program = work / "coverage_probe.cpp", work / "coverage_probe"
    source.write_text("\n".join(head + probe_lines(listed, members, constants)) + "\n")
    built = subprocess.run([*compiler, "-o", str(program), str(source)], capture_output=True, text=True)
    if built.returncode != 0:
        return [f"coverage probe: {built.stdout}{built.stderr}"]
    ran = subprocess.run([str(program)], check=True, capture_output=True, text=True)
    return faults(listed, ran.stdout, records, calls)
