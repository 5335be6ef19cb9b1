/* FreeBSD <utmpx.h>: the user-accounting database. */
#pragma once
#include <sys/types.h>
#include <sys/time.h>
#include <stddef.h>

#define EMPTY         0
#define BOOT_TIME     1
#define OLD_TIME      2
#define NEW_TIME      3
#define USER_PROCESS  4
#define INIT_PROCESS  5
#define LOGIN_PROCESS 6
#define DEAD_PROCESS  7
#define SHUTDOWN_TIME 8

struct utmpx {
    short ut_type;
    struct timeval ut_tv;
    char ut_id[8];
    pid_t ut_pid;
    char ut_user[32];
    char ut_line[16];
    char ut_host[128];
    char __ut_spare[64];
};

#ifdef __cplusplus
static_assert(sizeof(struct utmpx) == 280, "FreeBSD's struct utmpx");
static_assert(offsetof(struct utmpx, ut_tv) == 8 && offsetof(struct utmpx, ut_pid) == 32 &&
                  offsetof(struct utmpx, ut_user) == 36 && offsetof(struct utmpx, ut_line) == 68 &&
                  offsetof(struct utmpx, ut_host) == 84,
              "FreeBSD's struct utmpx");
extern "C" {
#endif
void setutxent(void) __asm__("freebsd_setutxent");
struct utmpx *getutxent(void) __asm__("freebsd_getutxent");
void endutxent(void) __asm__("freebsd_endutxent");
#ifdef __cplusplus
}
#endif
