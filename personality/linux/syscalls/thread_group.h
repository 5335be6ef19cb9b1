// Calls on a whole process that Linux makes per thread: its nice value and signals.
#pragma once

namespace host {

enum class PriorityOf { process, group, user };

// 0 and the nice value, or an errno. A process's nice value is its main thread's.
int get_nice(PriorityOf which, int who, int &out);
// 0, or an errno. A process's nice value is set on every one of its threads.
int set_nice(PriorityOf which, int who, int value);

// kill(2) with a process id (a group or every process for 0 and below); 0 or an errno.
int send_signal(int pid, int sig);

}  // namespace host
