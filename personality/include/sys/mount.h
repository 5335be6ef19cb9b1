/* FreeBSD <sys/mount.h>: the file-system statistics record and getfsstat(2). */
#pragma once
#include <sys/types.h>
#include <stddef.h>
#include <stdint.h>

#define MFSNAMELEN     16   /* length of a file-system type name, with its NUL */
#define MNAMELEN       1024 /* length of a mounted-from or mounted-on name, with its NUL */
#define STATFS_VERSION 0x20140518

/* FreeBSD's fsid_t names this struct; the host's <sys/types.h> already has an fsid_t of the
 * same size, so the record spells the struct out. */
struct fsid {
    int32_t val[2];
};

struct statfs {
    uint32_t f_version;
    uint32_t f_type;
    uint64_t f_flags;
    uint64_t f_bsize;  /* fundamental block size */
    uint64_t f_iosize; /* optimal transfer size */
    uint64_t f_blocks;
    uint64_t f_bfree;
    int64_t f_bavail;
    uint64_t f_files;
    int64_t f_ffree;
    uint64_t f_syncwrites;
    uint64_t f_asyncwrites;
    uint64_t f_syncreads;
    uint64_t f_asyncreads;
    uint32_t f_nvnodelistsize;
    uint32_t f_spare0;
    uint64_t f_spare[9];
    uint32_t f_namemax;
    uid_t f_owner;
    struct fsid f_fsid;
    char f_charspare[80];
    char f_fstypename[MFSNAMELEN];
    char f_mntfromname[MNAMELEN];
    char f_mntonname[MNAMELEN];
};

#ifdef __cplusplus
static_assert(sizeof(struct statfs) == 2344, "FreeBSD's struct statfs");
static_assert(offsetof(struct statfs, f_fsid) == 192 && offsetof(struct statfs, f_fstypename) == 280 &&
                  offsetof(struct statfs, f_mntfromname) == 296 && offsetof(struct statfs, f_mntonname) == 1320,
              "FreeBSD's struct statfs");
#endif

/* Flags of f_flags. */
#define MNT_RDONLY      0x0000000000000001ULL
#define MNT_SYNCHRONOUS 0x0000000000000002ULL
#define MNT_NOEXEC      0x0000000000000004ULL
#define MNT_NOSUID      0x0000000000000008ULL
#define MNT_NFS4ACLS    0x0000000000000010ULL
#define MNT_UNION       0x0000000000000020ULL
#define MNT_ASYNC       0x0000000000000040ULL
#define MNT_SUIDDIR     0x0000000000100000ULL
#define MNT_SOFTDEP     0x0000000000200000ULL
#define MNT_NOSYMFOLLOW 0x0000000000400000ULL
#define MNT_GJOURNAL    0x0000000002000000ULL
#define MNT_MULTILABEL  0x0000000004000000ULL
#define MNT_ACLS        0x0000000008000000ULL
#define MNT_NOATIME     0x0000000010000000ULL
#define MNT_NOCLUSTERR  0x0000000040000000ULL
#define MNT_NOCLUSTERW  0x0000000080000000ULL
#define MNT_SUJ         0x0000000100000000ULL
#define MNT_EXPORTED    0x0000000000000100ULL
#define MNT_LOCAL       0x0000000000001000ULL
#define MNT_QUOTA       0x0000000000002000ULL
#define MNT_ROOTFS      0x0000000000004000ULL
#define MNT_USER        0x0000000000008000ULL
#define MNT_IGNORE      0x0000000000800000ULL
#define MNT_AUTOMOUNTED 0x0000000200000000ULL

/* Modes of getfsstat. */
#define MNT_WAIT    1
#define MNT_NOWAIT  2
#define MNT_LAZY    3
#define MNT_SUSPEND 4

#ifdef __cplusplus
extern "C" {
#endif
int getfsstat(struct statfs *buf, long bufsize, int mode) __asm__("freebsd_getfsstat");
#ifdef __cplusplus
}
#endif
