/* FreeBSD <sys/file.h>: the system file table as the kern.file node exports it. */
#pragma once
#include <sys/types.h>

/* Kinds of open file (xf_type). */
#define DTYPE_NONE     0
#define DTYPE_VNODE    1
#define DTYPE_SOCKET   2
#define DTYPE_PIPE     3
#define DTYPE_FIFO     4
#define DTYPE_KQUEUE   5
#define DTYPE_MQUEUE   7
#define DTYPE_SHM      8
#define DTYPE_SEM      9
#define DTYPE_PTS      10
#define DTYPE_DEV      11
#define DTYPE_PROCDESC 12
#define DTYPE_EVENTFD  13
#define DTYPE_TIMERFD  14

struct xfile {
    ksize_t  xf_size;
    pid_t    xf_pid;
    uid_t    xf_uid;
    int      xf_fd;
    int      _xf_int_pad1;
    kvaddr_t xf_file;
    short    xf_type;
    short    _xf_short_pad1;
    int      xf_count;
    int      xf_msgcount;
    int      _xf_int_pad2;
    off_t    xf_offset;
    kvaddr_t xf_data;
    kvaddr_t xf_vnode;
    u_int    xf_flag;
    int      _xf_int_pad3;
    int64_t  _xf_int64_pad[6];
};

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct xfile) == 128, "struct xfile is 128 bytes");
static_assert(offsetof(struct xfile, xf_fd) == 16 && offsetof(struct xfile, xf_type) == 32 &&
              offsetof(struct xfile, xf_offset) == 48 && offsetof(struct xfile, xf_data) == 56 &&
              offsetof(struct xfile, xf_flag) == 72, "struct xfile fields at FreeBSD's offsets");
#endif
