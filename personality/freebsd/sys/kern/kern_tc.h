// kern.boottime, as FreeBSD's sysctl_kern_boottime() (kern_tc.c) answers it.
#pragma once
#include <sys/time.h>

int kern_boottime(struct timeval &boot);
