/* FreeBSD <sys/param.h>: the parameters the module uses. */
#pragma once
#include <sys/types.h>
#include <limits.h>

#define MAXCOMLEN   19
#define MAXLOGNAME  33
#define SPECNAMELEN 255
#define MAXPATHLEN  PATH_MAX
#define NODEV       ((dev_t)-1)
#define FSHIFT      11
#define FSCALE      (1 << FSHIFT)

#ifndef nitems
#define nitems(x) (sizeof(x) / sizeof((x)[0]))
#endif
