"""The socket tables with 20,000 sockets held by the benchmark's own children: net_connections
beside the raw cost of its host reads in C (same run), its owner lookup by index against the
plain scan per socket, and proc_net_connections of a child holding 10,000 sockets."""
import os
import subprocess
import sys
import _lumvik_bsd as m
from common import raw_results
ALL = ((1, 2, 28), (1, 2))

# Each child raises its own descriptor limit, makes its sockets, says so and waits for its stdin
# to close: unix socket pairs, and TCP connections to itself (both ends held).
HOLDER = """
import resource, socket, sys
pairs, connections = int(sys.argv[1]), int(sys.argv[2])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
held = [s for _ in range(pairs) for s in socket.socketpair()]
if connections:
    server = socket.create_server(("127.0.0.1", 0), backlog=connections)
    for _ in range(connections):
        held.append(socket.create_connection(server.getsockname()))
        held.append(server.accept()[0])
sys.stdout.write("ready\\n"); sys.stdout.flush()
sys.stdin.read()
"""
# (socket pairs, TCP connections): 10,000 sockets in the first child, 5,000 in each other.
CHILDREN = [(2500, 2500), (2500, 0), (2500, 0)]


def call_arguments():
    return {"net_connections": ALL, "proc_net_connections": (os.getpid(), *ALL)}


def start_holders():
    children = []
    for pairs, connections in CHILDREN:
        child = subprocess.Popen([sys.executable, "-c", HOLDER, str(pairs), str(connections)],
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        children.append(child)
        if child.stdout.readline() != b"ready\n":
            raise RuntimeError("a socket holder did not start")
    return children


def stop_holders(children):
    for child in children:
        child.stdin.close()
        child.wait()
        child.stdout.close()


def report(out, results, median_cost_ns, calls_for, throughput, human_ns, seconds):
    results.mkdir(exist_ok=True)
    children = start_holders()
    try:
        held = sum(2 * pairs + 2 * connections for pairs, connections in CHILDREN)
        module = median_cost_ns(m.net_connections, ALL, 3)
        listed = len(m.net_connections(*ALL))
        r = raw_results(results, "raw_net_sockets")
        per_process = median_cost_ns(m.proc_net_connections, (children[0].pid, *ALL), 3)
    finally:
        stop_holders(children)
    scan = module - r["index"] + r["scan"]
    out(f"socket tables: {held:,} sockets held by the benchmark's children; {listed:,} listed, "
        f"{r['files']:,} descriptors, {r['sockets']:,} sockets in the host's tables")
    out(f"  net_connections (owner index)        {module / 1e6:10.2f} ms   x{module / r['reads']:.2f} the raw reads")
    out(f"  net_connections with the plain scan  {scan / 1e6:10.2f} ms   x{scan / r['reads']:.2f} (estimated: the index "
        f"join replaced by the scan)")
    out(f"  raw host reads in C                  {r['reads'] / 1e6:10.2f} ms   (/proc/net tables, every descriptor link)")
    out(f"  owner lookup in C: index {r['index'] / 1e6:.2f} ms, plain scan {r['scan'] / 1e6:.2f} ms "
        f"(x{r['scan'] / max(r['index'], 1):.0f})")
    out(f"  proc_net_connections, 10,000 sockets {per_process / 1e6:10.2f} ms")
