// Entries of the host's utmp as FreeBSD's utmpx records.
#pragma once
#include <utmpx.h>

#include "linux/libc/utmp.h"

// FreeBSD's ut_type for a host type; types FreeBSD lacks (run level, accounting) are EMPTY.
short freebsd_utmp_type(short host_type);
// The record of an entry: texts cut to FreeBSD's fields, NUL-terminated only when shorter.
void fill_utmpx(const host::UtmpEntry &entry, struct utmpx &out);
