/* FreeBSD <vm/vm_param.h>: the CTL_VM names and the swap device record. */
#pragma once
#include <sys/types.h>

#define VM_TOTAL 1 /* struct vmtotal */
#define VM_METER VM_TOTAL

/* One swap device, as vm.swap_info answers it. */
#define XSWDEV_VERSION 2
struct xswdev {
    u_int xsw_version;
    dev_t xsw_dev;
    int xsw_flags;
    int xsw_nblks;
    int xsw_used;
};
#ifdef __cplusplus
static_assert(sizeof(struct xswdev) == 32, "FreeBSD 14 amd64 layout");
#endif
