// struct kinfo_proc records built from what the host says about a process and its threads.
#pragma once
#include <sys/user.h>

#include <vector>

// 0, or an errno: ESRCH for a process that does not exist.
int kinfo_proc_of(pid_t pid, struct kinfo_proc *kp);
// One record per thread of the process, as KERN_PROC_INC_THREAD asks.
int kinfo_proc_threads_of(pid_t pid, std::vector<struct kinfo_proc> &out);
