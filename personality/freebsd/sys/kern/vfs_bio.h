// vfs.bufspace, as FreeBSD's sysctl_bufspace() (vfs_bio.c) answers it.
#pragma once

int vfs_bufspace(long &bytes);
