// The kern.devstat nodes of FreeBSD's subr_devstat.c, and the host's block devices as its
// struct devstat records.
#pragma once
#include <sys/devicestat.h>

#include <cstdint>
#include <string_view>

#include "linux/procfs/diskstats.h"
#include "freebsd/sys/kern/kern_sysctl.h"

int kern_devstat_version(int &version);
int kern_devstat_generation(long &generation);
int kern_devstat_all(SysctlArgs args, SysctlReply &reply);

// Milliseconds as a bintime whose fraction, read back through its upper 32 bits (as FreeBSD's
// tools do), gives the same whole milliseconds.
struct bintime bintime_from_ms(uint64_t ms);
// FreeBSD names a device by driver and unit ("ada0"): a Linux name's trailing number is its
// unit ("nvme0n1" is nvme0n and 1); a disk that Linux numbers by letters gets the unit they
// count ("sda" is sd 0, "vdb" vd 1); any other name is kept whole with unit 0.
void split_device_name(std::string_view linux_name, char (&name)[DEVSTAT_NAME_LEN], int &unit);
void fill_devstat(const host::DiskStats &disk, struct devstat &out);
