/* FreeBSD <sys/devicestat.h>: the kernel's statistics record of one device. */
#pragma once
#include <sys/types.h>
#include <sys/time.h>
#include <stddef.h>
#include <stdint.h>

#define DEVSTAT_NAME_LEN 16
#define DEVSTAT_VERSION  6

typedef enum {
    DEVSTAT_ALL_SUPPORTED = 0x00,
    DEVSTAT_NO_BLOCKSIZE = 0x01,
    DEVSTAT_NO_ORDERED_TAGS = 0x02,
    DEVSTAT_BS_UNAVAILABLE = 0x04
} devstat_support_flags;

typedef enum {
    DEVSTAT_NO_DATA = 0x00,
    DEVSTAT_READ = 0x01,
    DEVSTAT_WRITE = 0x02,
    DEVSTAT_FREE = 0x03
} devstat_trans_flags;
#define DEVSTAT_N_TRANS_FLAGS 4

typedef enum {
    DEVSTAT_TYPE_DIRECT = 0x000,
    DEVSTAT_TYPE_IF_OTHER = 0x030,
    DEVSTAT_TYPE_PASS = 0x080
} devstat_type_flags;

typedef enum {
    DEVSTAT_PRIORITY_MIN = 0x000,
    DEVSTAT_PRIORITY_OTHER = 0x020,
    DEVSTAT_PRIORITY_DISK = 0x110,
    DEVSTAT_PRIORITY_MAX = 0xfff
} devstat_priority;

struct devstat {
    u_int sequence0;
    int allocated;
    u_int start_count;
    u_int end_count;
    struct bintime busy_from;
    struct {
        struct devstat *stqe_next;
    } dev_links;
    uint32_t device_number;
    char device_name[DEVSTAT_NAME_LEN];
    int unit_number;
    uint64_t bytes[DEVSTAT_N_TRANS_FLAGS];
    uint64_t operations[DEVSTAT_N_TRANS_FLAGS];
    struct bintime duration[DEVSTAT_N_TRANS_FLAGS];
    struct bintime busy_time;
    struct bintime creation_time;
    uint32_t block_size;
    uint64_t tag_types[3];
    devstat_support_flags flags;
    devstat_type_flags device_type;
    devstat_priority priority;
    const void *id;
    u_int sequence1;
};

#ifdef __cplusplus
static_assert(sizeof(struct devstat) == 288, "FreeBSD's struct devstat");
static_assert(offsetof(struct devstat, device_name) == 44 && offsetof(struct devstat, bytes) == 64 &&
                  offsetof(struct devstat, duration) == 128 && offsetof(struct devstat, busy_time) == 192 &&
                  offsetof(struct devstat, flags) == 256 && offsetof(struct devstat, sequence1) == 280,
              "FreeBSD's struct devstat");
#endif
