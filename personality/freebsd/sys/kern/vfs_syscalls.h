// Mounts of the host as FreeBSD's statfs records.
#pragma once
#include <sys/mount.h>

#include <cstdint>

#include "linux/procfs/mounts.h"

// FreeBSD's MNT_* flags of a mount, from its mount and file-system options and its kind.
uint64_t freebsd_mount_flags(const host::Mount &mount);
// Whether statfs of this mount answers from memory or a local disk, so that it cannot hang
// the way a network or user-space file system that stopped answering does.
bool statfs_cannot_hang(const host::Mount &mount);
// The record of a mount; figures null leaves the counts 0.
void fill_statfs(const host::Mount &mount, const host::FsFigures *figures, struct statfs &out);
