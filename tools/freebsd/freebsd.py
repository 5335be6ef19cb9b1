"""The FreeBSD 14 amd64 build of _lumvik_bsd and its checks.

    freebsd.py build   cross-build the FreeBSD object and say where it is
    freebsd.py check   cross-build it, then check its symbols and the record layouts
"""
import sys

import cross_build
import layout_check
import symbol_check


def main(argv):
    mode = argv[1] if len(argv) > 1 else ""
    if mode not in ("build", "check"):
        print(__doc__.strip())
        return 2
    module = cross_build.build()
    print(f"FreeBSD object: {module}")
    if mode == "check":
        failed = False
        symbols_summary, symbol_faults, taken = symbol_check.check(module)
        layout_results = layout_check.check(library_calls=symbol_check.base_system_calls(taken))
        for name, (summary, faults) in (("symbol check", (symbols_summary, symbol_faults)),
                                        ("layout check", layout_results)):
            print(summary)
            for fault in faults:
                print(f"{name}: {fault}")
            failed = failed or bool(faults)
        return 1 if failed else 0
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
