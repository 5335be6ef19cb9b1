"""A readable snapshot of this machine, as the module reports it."""
import os
import pwd

import _lumvik_bsd as m

STATES = {getattr(m, n): n[1:].lower() for n in ("SIDL", "SRUN", "SSLEEP", "SSTOP", "SZOMB", "SWAIT", "SLOCK")}
GONE = (ProcessLookupError, PermissionError, m.ZombieProcessError)


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


def user_name(uid):
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return str(uid)


def mib(n):
    return f"{n / 1048576:8.1f}M"


def process_table(top=15):
    rows = []
    for pid in m.pids():
        try:
            info = m.proc_oneshot_info(pid)
            cmdline = " ".join(m.proc_cmdline(pid)) or f"[{info[24]}]"
        except GONE:
            continue  # ended or hidden meanwhile
        rows.append((info[18], pid, info, cmdline))
    section(f"Processes ({len(rows)}, the {top} largest by resident memory)")
    print(f"{'PID':>7} {'NAME':15} {'STATE':6} {'USER':10} {'USER s':>8} {'SYS s':>8} {'RSS':>9} {'VSZ':>9} "
          f"{'THR':>4}  COMMAND")
    for rss, pid, info, cmdline in sorted(rows, key=lambda r: r[0], reverse=True)[:top]:
        threads = m.proc_num_threads(pid) if pid else 0
        print(f"{pid:7d} {str(info[24])[:15]:15} {STATES.get(info[1], '?'):6} {user_name(info[3])[:10]:10} "
              f"{info[14]:8.2f} {info[15]:8.2f} {mib(rss)} {mib(info[19])} {threads:4d}  {cmdline[:60]}")


def own_process():
    pid = os.getpid()
    section(f"This process ({pid})")
    print(f"executable        {m.proc_exe(pid)}")
    print(f"working directory {m.proc_cwd(pid)}")
    print(f"command line      {m.proc_cmdline(pid)}")
    print(f"environment       {len(m.proc_environ(pid))} variables")
    print(f"threads           {[tid for tid, _, _ in m.proc_threads(pid)]}")
    print(f"CPU affinity      {m.proc_cpu_affinity_get(pid)}")
    print(f"nice              {m.proc_priority_get(pid)}")
    unlimited = lambda v: "unlimited" if v == m.RLIM_INFINITY else str(v)
    for name in ("RLIMIT_NOFILE", "RLIMIT_STACK", "RLIMIT_AS", "RLIMIT_CORE"):
        soft, hard = m.proc_getrlimit(pid, getattr(m, name))
        print(f"{name[7:].lower():17} {unlimited(soft)} / {unlimited(hard)}")
    print(f"descriptors       {m.proc_num_fds(pid)} records; regular files:")
    for path, fd in m.proc_open_files(pid):
        print(f"  {fd:4d} {path}")
    maps = m.proc_memory_maps(pid)
    print(f"memory maps       {len(maps)}; the first five:")
    for addr, perms, path, resident, private, _, _ in maps[:5]:
        print(f"  {addr:34} {perms} {resident:6d} {private:6d}  {path}")


def main():
    print(f"Snapshot of {os.uname().nodename} through _lumvik_bsd")
    module_summary()
    process_table()
    own_process()


if __name__ == "__main__":
    main()
