// The conversions of the kern.proc nodes, apart from their reads, so that they can be checked
// on made-up host values.
#pragma once
#include <sys/resource.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "linux/syscalls/rlimits.h"

namespace kern_proc {

// The length a size probe of the process table reports for this many processes.
size_t process_table_probe_size(size_t processes);

// FreeBSD's resource number (0 to RLIM_NLIMITS - 1) as the host's limit; nullopt for the
// resources the host does not limit.
std::optional<host::Limit> host_limit(int resource);
// A host limit as FreeBSD's, and back.
rlim_t freebsd_limit(uint64_t value);
uint64_t host_value(rlim_t value);

}  // namespace kern_proc
