/* FreeBSD <string.h>: the host's, plus strlcat where the host's C library lacks it. */
#pragma once
#include_next <string.h>

#if !defined(__GLIBC__) || !__GLIBC_PREREQ(2, 38)
#ifdef __cplusplus
extern "C"
#endif
size_t strlcat(char *dst, const char *src, size_t dstsize) __asm__("freebsd_strlcat");
#endif
