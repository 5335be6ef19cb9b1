/* FreeBSD <vm/vm_param.h>: the CTL_VM names. */
#pragma once

#define VM_TOTAL 1 /* struct vmtotal */
#define VM_METER VM_TOTAL
