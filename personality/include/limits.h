/* FreeBSD <limits.h>: the host's limits with FreeBSD's path length. */
#pragma once
#include_next <limits.h>

#undef PATH_MAX
#define PATH_MAX 1024
#ifndef _POSIX2_LINE_MAX
#define _POSIX2_LINE_MAX 2048
#endif
