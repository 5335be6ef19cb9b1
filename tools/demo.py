"""A readable snapshot of this machine, as the module reports it."""
import os

import _lumvik_bsd as m


def section(title):
    print(f"\n{title}\n{'-' * len(title)}")


def module_summary():
    section("Module")
    print(f"version           {m.version}")
    print(f"page size         {m.getpagesize()} bytes")
    print(f"unlimited         {m.RLIM_INFINITY}")
    states = ["SIDL", "SRUN", "SSLEEP", "SSTOP", "SZOMB", "SWAIT", "SLOCK"]
    print("process states    " + ", ".join(f"{s}={getattr(m, s)}" for s in states))
    limits = sorted((getattr(m, n), n) for n in dir(m) if n.startswith("RLIMIT_"))
    print("resource limits   " + ", ".join(f"{n}={v}" for v, n in limits))
    tcp = sorted((getattr(m, n), n) for n in dir(m) if n.startswith("TCPS_"))
    print("TCP states        " + ", ".join(f"{n[5:]}={v}" for v, n in tcp))


def main():
    print(f"Snapshot of {os.uname().nodename} through _lumvik_bsd")
    module_summary()


if __name__ == "__main__":
    main()
