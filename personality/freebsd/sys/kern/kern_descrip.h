// kern.file: the system file table.
#pragma once
#include <string_view>

#include "freebsd/sys/kern/kern_sysctl.h"

int kern_file(SysctlArgs args, SysctlReply &reply);

// Linux's descriptor link text to FreeBSD's kind of open file (DTYPE_*).
int linux_link_to_dtype(std::string_view link);
