// The swap side of the kernel-memory library, its conversions open to tests.
#pragma once
#include <kvm.h>

#include <vector>

#include "linux/procfs/system_stat.h"

struct kvm_swap freebsd_swap_device(const host::SwapDevice &device, long page_size, int flags);
int fill_swap_info(const std::vector<struct kvm_swap> &devices, struct kvm_swap *swap_ary, int swap_max);
