// What the host says of a process: alive (running, sleeping, stopped), exited (a zombie, or on its
// way to become one: its files, map and memory are released) or gone (no such process any more).
#pragma once

namespace host {

enum class ProcessState { alive, exited, gone };

}  // namespace host
