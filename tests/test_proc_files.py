"""Open files, working directory, descriptor count and memory maps."""
import errno
import os
import socket

import pytest

import _lumvik_bsd as m
from records import kinfo_file, kinfo_vmentry
from truth import read_bytes, read_lines

KF_TYPE_VNODE, KF_TYPE_SOCKET = 1, 2
KF_VTYPE_VREG, KF_VTYPE_VDIR = 1, 2
KVME_PROT_READ, KVME_PROT_WRITE, KVME_PROT_EXEC = 1, 2, 4
FAKE_PID = os.getpid()  # a live pid, so that the record fetch before the library call succeeds

HOLDER = """
import os, socket, sys, time
f = open(sys.argv[1], 'rb')
d = os.open(os.path.dirname(sys.argv[1]), os.O_RDONLY)
r, w = os.pipe()
s = socket.socket()
sys.stdout.write(f'ready\\n{f.fileno()}\\n'); sys.stdout.flush()
time.sleep(600)
"""


def numbered_fds(pid):
    return sorted(int(fd) for fd in os.listdir(f"/proc/{pid}/fd"))


def test_open_files_lists_regular_files_only(children, tmp_path):
    path = tmp_path / "data.bin"
    path.write_bytes(b"x")
    child = children.start(HOLDER, args=[str(path)], stderr=open(os.devnull, "w"))
    fd = int(child.stdout.readline())
    listed = m.proc_open_files(child.pid)
    assert (str(path), fd) in listed
    # Directories, pipes and sockets are left out; the executable comes with its negative number.
    numbered = [entry for entry in listed if entry[1] >= 0]
    assert numbered == [(str(path), fd)]
    assert (os.readlink(f"/proc/{child.pid}/exe"), -5) in listed


def test_descriptor_count_includes_the_special_entries(children):
    child = children.start(stderr=open(os.devnull, "w"))  # 0, 1, 2: /dev/null, a pipe, /dev/null
    assert numbered_fds(child.pid) == [0, 1, 2]
    specials = 3  # the executable, the working and the root directory; no terminal
    assert m.proc_num_fds(child.pid) == 3 + specials
    assert [fd for _, fd in m.proc_open_files(child.pid)] == [-5]


def test_working_directory(children, tmp_path):
    child = children.start(cwd=tmp_path)
    assert m.proc_cwd(child.pid) == str(tmp_path)
    assert m.proc_cwd(os.getpid()) == os.getcwd()


def test_the_caller_sees_its_own_descriptors(tmp_path):
    path = tmp_path / "mine"
    with open(path, "w") as f, socket.socket() as s:
        listed = m.proc_open_files(os.getpid())
        assert (str(path), f.fileno()) in listed
        assert all(fd != s.fileno() for _, fd in listed)
        # Listing /proc/self/fd shows the listing's own descriptor too.
        assert m.proc_num_fds(os.getpid()) == len(numbered_fds(os.getpid())) - 1 + 3


@pytest.mark.parametrize("fn", [m.proc_open_files, m.proc_cwd, m.proc_num_fds, m.proc_memory_maps])
def test_a_zombie_is_refused_as_an_exiting_process(children, fn):
    with pytest.raises(ProcessLookupError, match=r"\(originated from kinfo_get(file|vmmap)\(\)\)$"):
        fn(children.zombie().pid)


def maps_of(pid):
    """(start, end, perms, path) of /proc/PID/maps."""
    entries = []
    for line in read_lines(f"/proc/{pid}/maps"):
            fields = line.split(maxsplit=5)
            start, end = (int(x, 16) for x in fields[0].split("-"))
            entries.append((start, end, fields[1][:3], fields[5].strip() if len(fields) > 5 else ""))
    return entries


def test_memory_maps_match_linux(children):
    child = children.start()
    maps = m.proc_memory_maps(child.pid)
    linux = maps_of(child.pid)
    assert [(a, p) for a, p, *_ in maps] == [(f"{s:#x}-{e:#x}", perms) for s, e, perms, _ in linux]
    for (_, _, path, resident, private, refs, shadows), (_, _, _, linux_path) in zip(maps, linux):
        if linux_path.startswith("/"):
            assert path == linux_path
        else:
            assert path.startswith("[") and path.endswith("]")
        assert 0 <= private <= resident
        assert (refs, shadows) == (0, 0)  # Linux keeps no such counts


def test_a_mapped_file_shows_with_its_path(children, tmp_path):
    path = tmp_path / "mapped"
    path.write_bytes(b"\0" * 8192)
    code = ("import mmap, sys, time\nf = open(sys.argv[1], 'rb')\nmm = mmap.mmap(f.fileno(), 0, prot=mmap.PROT_READ)\n"
            "mm[0]\nsys.stdout.write('ready\\n'); sys.stdout.flush(); time.sleep(600)")
    child = children.start(code, args=[str(path)])
    mine = [entry for entry in m.proc_memory_maps(child.pid) if entry[2] == str(path)]
    assert len(mine) == 1
    assert mine[0][1] == "r--" and mine[0][3] >= 1


class TestMapFormats:
    """Mapping records the host cannot produce on demand."""

    def maps(self, control, *records):
        control.answer(f"kinfo_getvmmap.{FAKE_PID}", b"".join(records))
        return m.proc_memory_maps(FAKE_PID)

    def test_a_file_mapping(self, control):
        [entry] = self.maps(control, kinfo_vmentry(0x10000, 0x12000, KVME_PROT_READ | KVME_PROT_EXEC, 2,
                                                   b"/lib/libx.so", 3, 2, 5, 1))
        assert entry == ("0x10000-0x12000", "r-x", "/lib/libx.so", 3, 2, 5, 1)

    @pytest.mark.parametrize("type_, label", [(0, "[none]"), (1, "[default]"), (2, "[vnode]"), (3, "[swap]"),
                                              (4, "[device]"), (5, "[phys]"), (6, "[dead]"), (7, "[sg]"),
                                              (8, "[?]"), (9, "[?]"), (255, "[unknown]"), (-1, "[?]")])
    def test_labels_of_mappings_without_a_path(self, control, type_, label):
        [entry] = self.maps(control, kinfo_vmentry(0x10000, 0x12000, type_=type_))
        assert entry[2] == label

    @pytest.mark.parametrize("start, end, text", [
        (0, 0x1000, "0-0x1000"),
        (0x7ffff7dd1000, 0xfffffffffffffff, "0x7ffff7dd1000-0xfffffffffffffff"),
        (0xffffffffff600000, 0xffffffffffffffff, "0xffffffffff600000-0xffffffffffffffff"),
    ])
    def test_address_texts(self, control, start, end, text):
        assert self.maps(control, kinfo_vmentry(start, end))[0][0] == text

    @pytest.mark.parametrize("protection, text", [(0, "---"), (1, "r--"), (2, "-w-"), (4, "--x"), (7, "rwx"),
                                                  (0x7F, "rwx")])
    def test_permission_texts(self, control, protection, text):
        assert self.maps(control, kinfo_vmentry(0, 1, protection))[0][1] == text

    def test_a_path_filling_its_whole_field(self, control):
        record = bytearray(kinfo_vmentry(0, 1, type_=2))
        record[136:] = b"p" * 1024  # no terminator
        assert self.maps(control, bytes(record))[0][2] == "p" * 1024

    def test_no_mappings(self, control):
        assert self.maps(control) == []


class TestFileRecords:
    def files(self, control, *records):
        control.answer(f"kinfo_getfile.{FAKE_PID}", b"".join(records))

    def test_only_regular_vnodes_are_open_files(self, control):
        self.files(control, kinfo_file(-1, KF_TYPE_VNODE, KF_VTYPE_VDIR, b"/home"),
                   kinfo_file(-5, KF_TYPE_VNODE, KF_VTYPE_VREG, b"/bin/sh"),
                   kinfo_file(3, KF_TYPE_SOCKET, KF_VTYPE_VREG, b"/not/a/file"),
                   kinfo_file(4, KF_TYPE_VNODE, KF_VTYPE_VREG, b"/var/log/x"))
        assert m.proc_open_files(FAKE_PID) == [("/bin/sh", -5), ("/var/log/x", 4)]
        assert m.proc_cwd(FAKE_PID) == "/home"
        assert m.proc_num_fds(FAKE_PID) == 4

    def test_no_working_directory_entry(self, control):
        self.files(control, kinfo_file(0, KF_TYPE_VNODE, KF_VTYPE_VREG, b"/x"))
        assert m.proc_cwd(FAKE_PID) == ""
        self.files(control)
        assert (m.proc_cwd(FAKE_PID), m.proc_num_fds(FAKE_PID), m.proc_open_files(FAKE_PID)) == ("", 0, [])


ALL = [m.proc_open_files, m.proc_cwd, m.proc_num_fds, m.proc_memory_maps]


def call_name(fn):
    return "kinfo_getvmmap()" if fn is m.proc_memory_maps else "kinfo_getfile()"


@pytest.mark.parametrize("fn", ALL)
class TestFailures:
    def test_a_missing_process_fails_before_the_library_call(self, control, children, fn):
        pid = children.gone_pid()
        control.fail(call_name(fn)[:-2], errno.EIO)  # would show if the library were called
        with pytest.raises(ProcessLookupError, match=r"originated from sysctl\(kinfo_proc\)\)$"):
            fn(pid)
        with pytest.raises(RuntimeError, match="invalid args"):
            fn(-1)

    def test_a_library_failure_with_an_errno(self, control, fn):
        control.fail(call_name(fn)[:-2], errno.EACCES)
        with pytest.raises(PermissionError) as info:
            fn(FAKE_PID)
        assert info.value.strerror == f"{os.strerror(errno.EACCES)} (originated from {call_name(fn)})"

    def test_a_library_failure_without_an_errno(self, control, children, fn):
        control.fail(call_name(fn)[:-2], 0)
        with pytest.raises(RuntimeError, match=rf"^{call_name(fn)[:-2]}\(\) syscall failed$"):
            fn(FAKE_PID)
        with pytest.raises(m.ZombieProcessError):
            fn(children.zombie().pid)

    def test_a_refused_process(self, fn):
        try:
            os.readlink("/proc/1/cwd")
            read_bytes("/proc/1/smaps")
            pytest.skip("this host lets us see into pid 1")
        except PermissionError:
            pass
        with pytest.raises(PermissionError, match=rf"originated from {call_name(fn)[:-2]}\(\)\)$"):
            fn(1)


def test_a_path_too_long_to_name_is_empty(tmp_path):
    deep = tmp_path
    while len(str(deep)) < 1100:
        deep = deep / ("d" * 200)
    deep.mkdir(parents=True)
    with open(deep / "f", "w") as f:
        assert ("", f.fileno()) in m.proc_open_files(os.getpid())
