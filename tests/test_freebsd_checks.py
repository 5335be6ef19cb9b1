"""The FreeBSD cross-build's checks name each fault planted in what they check."""
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools" / "freebsd"))
import cross_build  # noqa: E402
import layout_check as layout  # noqa: E402
import symbol_check as symbols  # noqa: E402

pytestmark = pytest.mark.skipif(sys.platform.startswith("freebsd"), reason="the cross-build runs on Linux")


@pytest.mark.parametrize("source, names", [
    ("LUMVIK_EXPORT PyObject *lumvik_a(PyObject *self,\n                               PyObject *args);", {"lumvik_a"}),
    ("LUMVIK_EXPORT std::atomic<int> LUMVIK_B;\nLUMVIK_EXPORT const int C = 3;", {"LUMVIK_B", "C"}),
    ("LUMVIK_EXPORT char d[4];\nstatic int hidden(void);", {"d"}),
    ('#define LUMVIK_EXPORT extern "C" __attribute__((visibility("default")))', set()),
    ("PyMODINIT_FUNC PyInit__m(void) {", {"PyInit__m"}),
])
def test_declared_exports(tmp_path, source, names):
    (tmp_path / "unit.h").write_text(source + "\n")
    assert symbols.declared_exports(tmp_path) == names


def test_symbol_check_names_each_fault(tmp_path):
    cross_build.build_stubs()
    # A library the module may not need, with FreeBSD's soname.
    (tmp_path / "procstat.S").write_text(cross_build.stub_assembly([("procstat_open_sysctl", False)]))
    subprocess.run([cross_build.CC, "-shared", "-nostdlib", "-Wl,-soname,libprocstat.so.1",
                    "-o", tmp_path / "libprocstat.so", tmp_path / "procstat.S"], check=True)
    (tmp_path / "m.c").write_text(
        "int sysctl(const int *, unsigned, void *, unsigned long *, const void *, unsigned long);\n"
        "int kvm_close(void *); int freebsd_sysctl(void); int get_nprocs(void); void *PyList_New(long);\n"
        "void *procstat_open_sysctl(void);\n"
        "int kept(void) { return sysctl(0, 0, 0, 0, 0, 0) + kvm_close(0) + freebsd_sysctl() + get_nprocs()\n"
        "                       + (PyList_New(0) != 0) + (procstat_open_sysctl() != 0); }\n"
        "int stray(void) { return 0; }\n")
    module = tmp_path / "m.so"
    subprocess.run([cross_build.CC, "-O2", "-shared", "-fPIC", "-o", module, tmp_path / "m.c", f"-L{cross_build.STUBS}",
                    f"-L{tmp_path}", "-lkvm", "-lprocstat"], check=True)
    summary, faults, _ = symbols.check(module, declared={"kept", "lumvik_missing"})
    assert sorted(faults) == sorted([
        "NEEDED libprocstat.so.1: not a library the module may need",
        "undefined procstat_open_sysctl: in no FreeBSD library the module needs, nor in the Python C API",
        "references freebsd_sysctl: forbidden in a FreeBSD object",
        "undefined freebsd_sysctl: in no FreeBSD library the module needs, nor in the Python C API",
        "undefined get_nprocs: in no FreeBSD library the module needs, nor in the Python C API",
        "exports stray: not declared LUMVIK_EXPORT in src/",
        "does not export lumvik_missing: declared LUMVIK_EXPORT in src/",
    ])
    assert "libc.so.7 1" in summary and "libkvm.so.7 1" in summary and "the Python C API 1" in summary


# A fault planted in a copy of the personality's headers: (header, text, planted text, faults).
PLANTS = [
    ("sys/user.h", "    int      kve_resident;\n    int      kve_private_resident;\n",
     "    int      kve_private_resident;\n    int      kve_resident;\n",
     ["offset of struct kinfo_vmentry kve_resident: FreeBSD 48, personality 52",
      "offset of struct kinfo_vmentry kve_private_resident: FreeBSD 52, personality 48"]),
    ("netinet/tcp_fsm.h", "#define TCPS_LISTEN       1", "#define TCPS_LISTEN       2",
     ["TCPS_LISTEN: FreeBSD 1, personality 2"]),
    ("sys/resource.h", "    long ru_nvcsw;\n", "    int ru_nvcsw;\n    int ru_pad;\n",
     ["size of struct rusage ru_nvcsw: FreeBSD 8, personality 4"]),
    ("sys/cpuset.h", "cpuwhich_t which, freebsd_id_t id, size_t setsize, cpuset_t *mask",
     "cpuwhich_t which, id_t id, size_t setsize, cpuset_t *mask",
     ["call cpuset_getaffinity: parameter 3: FreeBSD 810, personality 400"]),
    ("sys/user.h", "kf_path[PATH_MAX]", "kf_name[PATH_MAX]",
     ["personality: offset of struct kinfo_file kf_path:", "personality: size of struct kinfo_file kf_path:"]),
]


@pytest.mark.parametrize("header, text, planted, expected", PLANTS, ids=[p[3][0].split(":")[0] for p in PLANTS])
def test_layout_check_names_the_field(tmp_path, header, text, planted, expected):
    include = tmp_path / "include"
    shutil.copytree(layout.PERSONALITY_INCLUDE, include)
    original = (include / header).read_text()
    assert text in original
    (include / header).write_text(original.replace(text, planted))
    summary, faults = layout.check(personality_include=include, work=tmp_path / "work")
    assert [f[:len(e)] for f, e in zip(faults, expected)] == expected and len(faults) == len(expected), faults


def test_layout_check_names_what_src_uses_unchecked(tmp_path):
    (tmp_path / "src").mkdir()
    (tmp_path / "src" / "unit.cpp").write_text(
        "// kp.ki_sid in a comment is no use\n"
        "struct own { int ki_jid; };\n"
        "static int f(struct kinfo_proc &kp, struct xsocket *xs, struct own &o) {\n"
        '    return kp.ki_jid + kp.ki_pid + o.ki_jid + KERN_PROC_CWD + SZOMB + sizeof("KERN_PROC_ENV")\n'
        "           + kvm_getloadavg(0, 0, 0) + sysctl(0, 0, 0, 0, 0, 0);\n"
        "}\n")
    summary, faults = layout.check(src=tmp_path / "src", work=tmp_path / "work",
                                   library_calls={"kvm_getloadavg", "sysctl", "kvm_getncpus"})
    assert faults == [
        "src/ uses struct xsocket, which layout.txt does not check (add its size and the fields read)",
        "src/ calls kvm_getloadavg, whose prototype layout.txt does not check (add: call kvm_getloadavg)",
        "src/ reads ki_jid of struct kinfo_proc, which layout.txt does not check (add: field struct kinfo_proc ki_jid)",
        "src/ uses KERN_PROC_CWD, which layout.txt does not check (add: const KERN_PROC_CWD)",
    ]
