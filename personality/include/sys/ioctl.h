/* FreeBSD <sys/ioctl.h>: ioctl(2) under a name of its own, so that FreeBSD's request numbers
 * reach the personality; the interface requests of <sys/sockio.h>. */
#pragma once
#include <sys/sockio.h>

#ifdef __cplusplus
extern "C"
#endif
int ioctl(int fd, unsigned long request, ...) __asm__("freebsd_ioctl");
