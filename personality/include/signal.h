/* FreeBSD <signal.h>: the host's, with kill(2) refusing thread ids as FreeBSD does (Linux
 * takes a thread id for its process). Signal numbers stay the host's. */
#include_next <signal.h>

#ifndef LUMVIK_FREEBSD_SIGNAL_H
#define LUMVIK_FREEBSD_SIGNAL_H
#ifdef __cplusplus
extern "C"
#endif
int freebsd_kill(pid_t pid, int sig);
#define kill freebsd_kill
#endif
