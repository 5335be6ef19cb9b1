// How kinfo_getvmmap(3) turns the host's facts of a mapping into a FreeBSD record, apart from
// the reads, so that the conversions can be checked on made-up host values.
#pragma once
#include <sys/user.h>

#include <cstdint>
#include <string_view>

#include "linux/procfs/maps.h"

namespace getvmmap {

int linux_mapping_to_kvme_type(const host::MapEntry &e);
int linux_vm_flags_to_freebsd(std::string_view vm_flags);
void fill_mapping(const host::MapEntry &e, uint64_t page_size, struct kinfo_vmentry &kve);

}  // namespace getvmmap
