"""The interpreter the suite runs on: our CPython build enters a critical section that the
thread's enclosing one already holds without locking again, so a buffered file's close() (which
flushes inside its own section) never spins on sched_yield; on a busy machine every such yield
gave away a whole time slice."""
import os
import shutil
import subprocess
import sys

import pytest


@pytest.mark.skipif(shutil.which("strace") is None, reason="needs strace")
def test_a_nested_critical_section_does_not_yield(tmp_path):
    trace = tmp_path / "trace"
    code = "for _ in range(1000): open('/dev/null', 'rb').close()"
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=sched_yield", "-o", str(trace), sys.executable, "-c", code],
                   check=True, timeout=120)
    fd = os.open(trace, os.O_RDONLY)
    try:
        calls = os.read(fd, 1 << 20).decode().count("sched_yield(")
    finally:
        os.close(fd)
    assert calls == 0
