/* FreeBSD <sys/user.h>: the records the kernel exports about processes, their files and
 * their memory maps. Layouts are FreeBSD 14 amd64, byte for byte. */
#pragma once
#include <sys/types.h>
#include <sys/param.h>
#include <sys/resource.h>
#include <sys/socket.h>

#define KINFO_PROC_SIZE    1088
#define KINFO_FILE_SIZE    1392
#define KINFO_VMENTRY_SIZE 1160

#define COMMLEN         19
#define TDNAMLEN        16
#define WMESGLEN        8
#define LOCKNAMELEN     8
#define LOGNAMELEN      17
#define LOGINCLASSLEN   17
#define KI_EMULNAMELEN  16
#define KI_NGROUPS      16
#define KI_NSPARE_INT   2
#define KI_NSPARE_LONG  12
#define KI_NSPARE_PTR   5

#define KI_CRF_CAPABILITY_MODE 0x00000001
#define KI_CRF_GRP_OVERFLOW    0x80000000

/* ki_kiflag */
#define KI_CTTY      0x00000001 /* the session holds a controlling terminal */
#define KI_SLEADER   0x00000002 /* session leader */
#define KI_LOCKBLOCK 0x00000004 /* blocked on the lock named in ki_lockname */

/* ki_sflag */
#define PS_INMEM 0x00001

struct __sigset {
    uint32_t __bits[4];
};

struct priority {
    u_char pri_class;
    u_char pri_level;
    u_char pri_native;
    u_char pri_user;
};

struct kinfo_proc {
    int             ki_structsize;
    int             ki_layout;
    void           *ki_args;      /* kernel addresses, opaque */
    void           *ki_paddr;
    void           *ki_addr;
    void           *ki_tracep;
    void           *ki_textvp;
    void           *ki_fd;
    void           *ki_vmspace;
    const void     *ki_wchan;
    pid_t           ki_pid;
    pid_t           ki_ppid;
    pid_t           ki_pgid;
    pid_t           ki_tpgid;
    pid_t           ki_sid;
    pid_t           ki_tsid;
    short           ki_jobc;
    short           ki_spare_short1;
    uint32_t        ki_tdev_freebsd11;
    struct __sigset ki_siglist;
    struct __sigset ki_sigmask;
    struct __sigset ki_sigignore;
    struct __sigset ki_sigcatch;
    uid_t           ki_uid;
    uid_t           ki_ruid;
    uid_t           ki_svuid;
    gid_t           ki_rgid;
    gid_t           ki_svgid;
    short           ki_ngroups;
    short           ki_spare_short2;
    gid_t           ki_groups[KI_NGROUPS];
    vm_size_t       ki_size;      /* bytes */
    segsz_t         ki_rssize;    /* pages */
    segsz_t         ki_swrss;
    segsz_t         ki_tsize;
    segsz_t         ki_dsize;
    segsz_t         ki_ssize;
    u_short         ki_xstat;
    u_short         ki_acflag;
    fixpt_t         ki_pctcpu;
    u_int           ki_estcpu;
    u_int           ki_slptime;
    u_int           ki_swtime;
    u_int           ki_cow;
    uint64_t        ki_runtime;   /* microseconds */
    struct timeval  ki_start;
    struct timeval  ki_childtime;
    long            ki_flag;
    long            ki_kiflag;
    int             ki_traceflag;
    char            ki_stat;
    signed char     ki_nice;
    char            ki_lock;
    char            ki_rqindex;
    u_char          ki_oncpu_old;
    u_char          ki_lastcpu_old;
    char            ki_tdname[TDNAMLEN + 1];
    char            ki_wmesg[WMESGLEN + 1];
    char            ki_login[LOGNAMELEN + 1];
    char            ki_lockname[LOCKNAMELEN + 1];
    char            ki_comm[COMMLEN + 1];
    char            ki_emul[KI_EMULNAMELEN + 1];
    char            ki_loginclass[LOGINCLASSLEN + 1];
    char            ki_moretdname[MAXCOMLEN - TDNAMLEN + 1];
    char            ki_sparestrings[46];
    int             ki_spareints[KI_NSPARE_INT];
    uint64_t        ki_tdev;
    int             ki_oncpu;
    int             ki_lastcpu;
    int             ki_tracer;
    int             ki_flag2;
    int             ki_fibnum;
    u_int           ki_cr_flags;
    int             ki_jid;
    int             ki_numthreads;
    lwpid_t         ki_tid;
    struct priority ki_pri;
    struct rusage   ki_rusage;
    struct rusage   ki_rusage_ch;
    void           *ki_pcb;
    void           *ki_kstack;
    void           *ki_udata;
    void           *ki_tdaddr;
    void           *ki_pd;
    void           *ki_spareptrs[KI_NSPARE_PTR];
    long            ki_sparelongs[KI_NSPARE_LONG];
    long            ki_sflag;
    long            ki_tdflags;
};
#define ki_ocomm      ki_tdname
#define ki_childutime ki_rusage_ch.ru_utime
#define ki_childstime ki_rusage_ch.ru_stime

/* kinfo_file types */
#define KF_TYPE_NONE     0
#define KF_TYPE_VNODE    1
#define KF_TYPE_SOCKET   2
#define KF_TYPE_PIPE     3
#define KF_TYPE_FIFO     4
#define KF_TYPE_KQUEUE   5
#define KF_TYPE_MQUEUE   7
#define KF_TYPE_SHM      8
#define KF_TYPE_SEM      9
#define KF_TYPE_PTS      10
#define KF_TYPE_PROCDESC 11
#define KF_TYPE_DEV      12
#define KF_TYPE_EVENTFD  13
#define KF_TYPE_TIMERFD  14
#define KF_TYPE_UNKNOWN  255

#define KF_VTYPE_VNON    0
#define KF_VTYPE_VREG    1
#define KF_VTYPE_VDIR    2
#define KF_VTYPE_VBLK    3
#define KF_VTYPE_VCHR    4
#define KF_VTYPE_VLNK    5
#define KF_VTYPE_VSOCK   6
#define KF_VTYPE_VFIFO   7
#define KF_VTYPE_VBAD    8
#define KF_VTYPE_UNKNOWN 255

#define KF_FD_TYPE_CWD   (-1)
#define KF_FD_TYPE_ROOT  (-2)
#define KF_FD_TYPE_JAIL  (-3)
#define KF_FD_TYPE_TRACE (-4)
#define KF_FD_TYPE_TEXT  (-5)
#define KF_FD_TYPE_CTTY  (-6)

#define KF_FLAG_READ     0x00000001
#define KF_FLAG_WRITE    0x00000002
#define KF_FLAG_APPEND   0x00000004
#define KF_FLAG_ASYNC    0x00000008
#define KF_FLAG_FSYNC    0x00000010
#define KF_FLAG_NONBLOCK 0x00000020
#define KF_FLAG_DIRECT   0x00000040
#define KF_FLAG_HASLOCK  0x00000080
#define KF_FLAG_SHLOCK   0x00000100
#define KF_FLAG_EXLOCK   0x00000200
#define KF_FLAG_NOFOLLOW 0x00000400
#define KF_FLAG_CREAT    0x00000800
#define KF_FLAG_TRUNC    0x00001000
#define KF_FLAG_EXCL     0x00002000
#define KF_FLAG_EXEC     0x00004000

#define KF_ATTR_VALID 0x0001

struct cap_rights {
    uint64_t cr_rights[2];
};

struct kinfo_file {
    int     kf_structsize;
    int     kf_type;
    int     kf_fd;
    int     kf_ref_count;
    int     kf_flags;
    int     kf_pad0;
    int64_t kf_offset;
    union {
        struct {
            int kf_vnode_type;
            int kf_sock_domain;
            int kf_sock_type;
            int kf_sock_protocol;
            struct sockaddr_storage kf_sa_local;
            struct sockaddr_storage kf_sa_peer;
        };
        union {
            struct {
                uint32_t kf_sock_sendq;
                int      kf_sock_domain0;
                int      kf_sock_type0;
                int      kf_sock_protocol0;
                struct sockaddr_storage kf_sa_local;
                struct sockaddr_storage kf_sa_peer;
                uint64_t kf_sock_pcb;
                uint64_t kf_sock_inpcb;
                uint64_t kf_sock_unpconn;
                uint16_t kf_sock_snd_sb_state;
                uint16_t kf_sock_rcv_sb_state;
                uint32_t kf_sock_recvq;
            } kf_sock;
            struct {
                int      kf_file_type;
                int      kf_spareint[3];
                uint64_t kf_spareint64[29];
                uint64_t kf_file_nlink;
                uint64_t kf_file_fsid;
                uint64_t kf_file_rdev;
                uint64_t kf_file_fileid;
                uint64_t kf_file_size;
                uint32_t kf_file_fsid_freebsd11;
                uint32_t kf_file_rdev_freebsd11;
                uint16_t kf_file_mode;
                uint16_t kf_file_pad0;
                uint32_t kf_file_pad1;
            } kf_file;
            struct {
                uint32_t kf_spareint[4];
                uint64_t kf_spareint64[32];
                uint64_t kf_pipe_addr;
                uint64_t kf_pipe_peer;
                uint32_t kf_pipe_buffer_cnt;
                uint32_t kf_pipe_buffer_in;
                uint32_t kf_pipe_buffer_out;
                uint32_t kf_pipe_buffer_size;
            } kf_pipe;
            struct {
                uint32_t kf_spareint[4];
                uint64_t kf_spareint64[32];
                uint32_t kf_sem_value;
                uint16_t kf_sem_mode;
            } kf_sem;
            struct {
                uint32_t kf_spareint[4];
                uint64_t kf_spareint64[32];
                uint32_t kf_pts_dev_freebsd11;
                uint32_t kf_pts_pad0;
                uint64_t kf_pts_dev;
                uint32_t kf_pts_pad1[4];
            } kf_pts;
            struct {
                uint32_t kf_spareint[4];
                uint64_t kf_spareint64[32];
                pid_t    kf_pid;
            } kf_proc;
            struct {
                uint64_t kf_eventfd_value;
                uint32_t kf_eventfd_flags;
                uint32_t kf_eventfd_spareint[3];
                uint64_t kf_eventfd_addr;
            } kf_eventfd;
        } kf_un;
    };
    uint16_t          kf_status;
    uint16_t          kf_pad1;
    int               _kf_ispare0;
    struct cap_rights kf_cap_rights;
    uint64_t          _kf_cap_spare;
    char              kf_path[PATH_MAX];
};

/* kinfo_vmentry types, protection and flags */
#define KVME_TYPE_NONE      0
#define KVME_TYPE_DEFAULT   1
#define KVME_TYPE_VNODE     2
#define KVME_TYPE_SWAP      3
#define KVME_TYPE_DEVICE    4
#define KVME_TYPE_PHYS      5
#define KVME_TYPE_DEAD      6
#define KVME_TYPE_SG        7
#define KVME_TYPE_MGTDEVICE 8
#define KVME_TYPE_GUARD     9
#define KVME_TYPE_UNKNOWN   255

#define KVME_PROT_READ  0x00000001
#define KVME_PROT_WRITE 0x00000002
#define KVME_PROT_EXEC  0x00000004

#define KVME_FLAG_COW         0x00000001
#define KVME_FLAG_NEEDS_COPY  0x00000002
#define KVME_FLAG_NOCOREDUMP  0x00000004
#define KVME_FLAG_SUPER       0x00000008
#define KVME_FLAG_GROWS_UP    0x00000010
#define KVME_FLAG_GROWS_DOWN  0x00000020
#define KVME_FLAG_USER_WIRED  0x00000040

struct kinfo_vmentry {
    int      kve_structsize;
    int      kve_type;
    uint64_t kve_start;
    uint64_t kve_end;
    uint64_t kve_offset;
    uint64_t kve_vn_fileid;
    uint32_t kve_vn_fsid_freebsd11;
    int      kve_flags;
    int      kve_resident;
    int      kve_private_resident;
    int      kve_protection;
    int      kve_ref_count;
    int      kve_shadow_count;
    int      kve_vn_type;
    uint64_t kve_vn_size;
    uint32_t kve_vn_rdev_freebsd11;
    uint16_t kve_vn_mode;
    uint16_t kve_status;
    union {
        uint64_t _kve_vn_fsid;
        uint64_t _kve_obj;
    } kve_type_spec;
    uint64_t kve_vn_rdev;
    int      _kve_ispare[8];
    char     kve_path[PATH_MAX];
};
#define kve_vn_fsid kve_type_spec._kve_vn_fsid
#define kve_obj     kve_type_spec._kve_obj

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(struct kinfo_proc) == KINFO_PROC_SIZE, "struct kinfo_proc is 1088 bytes");
static_assert(offsetof(struct kinfo_proc, ki_pid) == 72 && offsetof(struct kinfo_proc, ki_uid) == 168 &&
              offsetof(struct kinfo_proc, ki_size) == 256 && offsetof(struct kinfo_proc, ki_start) == 336 &&
              offsetof(struct kinfo_proc, ki_stat) == 388 && offsetof(struct kinfo_proc, ki_comm) == 447 &&
              offsetof(struct kinfo_proc, ki_tdev) == 560 && offsetof(struct kinfo_proc, ki_numthreads) == 596 &&
              offsetof(struct kinfo_proc, ki_rusage) == 608 && offsetof(struct kinfo_proc, ki_rusage_ch) == 752 &&
              offsetof(struct kinfo_proc, ki_tdflags) == 1080,
              "struct kinfo_proc matches FreeBSD 14 amd64");
static_assert(sizeof(struct kinfo_file) == KINFO_FILE_SIZE, "struct kinfo_file is 1392 bytes");
static_assert(offsetof(struct kinfo_file, kf_sa_local) == 48 && offsetof(struct kinfo_file, kf_sa_peer) == 176 &&
              offsetof(struct kinfo_file, kf_un.kf_sock.kf_sock_pcb) == 304 &&
              offsetof(struct kinfo_file, kf_un.kf_file.kf_file_fileid) == 304 &&
              offsetof(struct kinfo_file, kf_un.kf_file.kf_file_mode) == 328 &&
              offsetof(struct kinfo_file, kf_status) == 336 && offsetof(struct kinfo_file, kf_path) == 368,
              "struct kinfo_file matches FreeBSD 14 amd64");
static_assert(sizeof(struct kinfo_vmentry) == KINFO_VMENTRY_SIZE, "struct kinfo_vmentry is 1160 bytes");
static_assert(offsetof(struct kinfo_vmentry, kve_protection) == 56 &&
              offsetof(struct kinfo_vmentry, kve_type_spec) == 88 && offsetof(struct kinfo_vmentry, kve_path) == 136,
              "struct kinfo_vmentry matches FreeBSD 14 amd64");
#endif
