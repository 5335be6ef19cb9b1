"""A snapshot of this machine through _lumvik_bsd, like top, df, iostat, ifconfig and sockstat
together; with --live it refreshes like top until Ctrl-C."""
import argparse
import sys

from snapshot.app import main


def arguments(argv):
    p = argparse.ArgumentParser(prog="./dev demo", description=__doc__)
    p.add_argument("--live", action="store_true", help="refresh like top until Ctrl-C (needs a terminal)")
    p.add_argument("--interval", type=float, default=2.0, metavar="SECONDS",
                   help="seconds between refreshes of the live view (default 2)")
    p.add_argument("--warmup", type=float, default=0.5, metavar="SECONDS",
                   help="seconds over which the first CPU use and rates are measured (default 0.5)")
    p.add_argument("--timings", action="store_true", help="say what reading each section cost")
    args = p.parse_args(argv)
    if args.interval <= 0 or args.warmup <= 0:
        p.error("intervals must be positive")
    return args


if __name__ == "__main__":
    sys.exit(main(arguments(sys.argv[1:])))
