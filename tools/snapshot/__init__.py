"""The snapshot of this machine that `./dev demo` prints: one file per group of sections, each
section a reader of the module and a pure renderer of what it read."""
