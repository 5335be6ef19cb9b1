// kern.file: the system file table.
#pragma once
#include "freebsd/sys/kern/kern_sysctl.h"
#include "linux/procfs/descriptor_kind.h"

int kern_file(SysctlArgs args, SysctlReply &reply);

// FreeBSD's kind of open file (DTYPE_*) of a host descriptor's kind.
int descriptor_kind_to_dtype(host::DescriptorKind kind);
