"""What the benchmark reports share: a caller for the functions this machine may refuse, the raw
C benchmarks built and read, and the lines of a thread scaling."""
import subprocess
from pathlib import Path

HERE = Path(__file__).resolve().parent


def answering(fn, args):
    """fn itself, or, where this machine refuses it (no such hardware or driver), a caller that
    takes the refusal; and whether it answered."""
    try:
        fn(*args)
        return fn, True
    except NotImplementedError:
        def refused(*a):
            try:
                fn(*a)
            except NotImplementedError:
                pass
        return refused, False


def build_raw(results, name, flags=()):
    """bench/NAME.c compiled into results; the binary's path."""
    binary = results / name
    subprocess.run(["cc", "-O2", *flags, "-o", str(binary), str(HERE / f"{name}.c")], check=True)
    return binary


def raw_results(results, name, args=(), flags=(), number=int):
    """The "key value" lines of bench/NAME.c run with args, as a dict."""
    binary = build_raw(results, name, flags)
    text = subprocess.run([str(binary), *map(str, args)], check=True, capture_output=True, text=True).stdout
    return {key: number(value) for key, value in map(str.split, text.splitlines())}


def scaling(out, throughput, fn, args, seconds):
    """Calls per second from 1, 2 and 4 threads, each beside the single thread's."""
    single = None
    for threads in (1, 2, 4):
        rate = throughput(fn, args, threads, seconds)
        single = single or rate
        out(f"  {threads} thread{'s' if threads > 1 else ' '}  {rate:14,.0f}   x{rate / single:.2f}")
