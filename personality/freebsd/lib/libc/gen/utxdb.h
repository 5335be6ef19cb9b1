// Entries of the host's utmp as FreeBSD's utmpx records.
#pragma once
#include <utmpx.h>

#include "linux/libc/utmp.h"

// FreeBSD's ut_type for a host type; types FreeBSD lacks (run level, accounting) are EMPTY.
short freebsd_utmp_type(short host_type);
// The record of an entry with the fields its type carries (futx_to_utx): texts cut to one byte
// short of their field and always NUL-terminated, ut_id as 8 raw bytes.
void fill_utmpx(const host::UtmpEntry &entry, struct utmpx &out);
