/* The raw cost of the host reads behind one process snapshot (pids(), then
 * proc_oneshot_info() for every pid), with no parsing beyond what decides the next read:
 * the /proc listing for the size probe and again for the fetch, then per process and per
 * pass /proc/PID/{stat,status,io}, and each thread's status for a multi-threaded process.
 * Prints the median nanoseconds of one snapshot. */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "timing.h"

static char buf[65536];

static long read_at(int dirfd, const char *name) {
    int fd = openat(dirfd, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    long total = 0, n;
    while ((n = read(fd, buf, sizeof(buf))) > 0)
        total += n;
    close(fd);
    return total;
}

static int list_pids(int *pids, int max) {
    DIR *dir = opendir("/proc");
    int n = 0;
    struct dirent *e;
    while ((e = readdir(dir)) != NULL && n < max)
        if (e->d_name[0] >= '1' && e->d_name[0] <= '9')
            pids[n++] = atoi(e->d_name);
    closedir(dir);
    return n;
}

static int stat_threads(void) {
    /* field 20 of stat, after the ')' that ends the name */
    char *p = strrchr(buf, ')');
    for (int field = 2; p && field < 20; field++)
        p = strchr(p + 1, ' ');
    return p ? atoi(p + 1) : 1;
}

static void read_process(int pid) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d", pid);
    int dirfd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0)
        return;
    if (read_at(dirfd, "stat") > 0) {
        int threads = stat_threads();
        read_at(dirfd, "status");
        read_at(dirfd, "io");
        if (threads > 1) {
            DIR *tasks = opendir(strcat(path, "/task"));
            struct dirent *e;
            char status[300];
            while (tasks && (e = readdir(tasks)) != NULL) {
                if (e->d_name[0] < '1' || e->d_name[0] > '9')
                    continue;
                snprintf(status, sizeof(status), "task/%s/status", e->d_name);
                read_at(dirfd, status);
            }
            if (tasks)
                closedir(tasks);
        }
    }
    close(dirfd);
}

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 21;
    static int pids[1 << 16];
    long long samples[256];
    if (runs > 256)
        runs = 256;
    for (int r = 0; r < runs; r++) {
        long long start = now_ns();
        list_pids(pids, 1 << 16);                   /* pids(): size probe */
        int n = list_pids(pids, 1 << 16);           /* pids(): fetch */
        for (int i = 0; i < n; i++)
            read_process(pids[i]);
        for (int i = 0; i < n; i++)                 /* proc_oneshot_info() of each */
            read_process(pids[i]);
        samples[r] = now_ns() - start;
    }
    printf("%lld\n", median_ns(samples, runs));
    return 0;
}
