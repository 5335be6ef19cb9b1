// vm.swap_info and vm.nswapdev, as FreeBSD's swap_pager.c answers them.
#pragma once
#include <sys/types.h>
#include <vm/vm_param.h>

#include "freebsd/sys/kern/kern_sysctl.h"
#include "linux/procfs/system_stat.h"

// FreeBSD's sw_flags: a disk that takes unmapped I/O.
constexpr int SW_UNMAPPED = 0x01;

// One swap device as swap_dev_info() describes it, sizes in pages.
struct xswdev freebsd_xswdev(const host::SwapDevice &device, long page_size);
int vm_swap_info(SysctlArgs args, SysctlReply &reply);
