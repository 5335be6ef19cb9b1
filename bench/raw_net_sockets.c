/* The raw cost of the host reads behind net_connections(): the socket tables under /proc/net
 * and every descriptor link of every process, with no parsing beyond finding the inodes. Then,
 * on that data laid out as the file table (128-byte records), the two ways to find each socket's
 * owner: a scan of the table per socket, and an index of the table built once.
 * Prints "reads NS", "scan NS", "index NS", "files N", "sockets N" (medians). */
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "timing.h"

struct record { uint64_t size; int32_t pid, uid, fd, pad; uint64_t file; char mid[24]; uint64_t data; char rest[64]; };
struct entry { uint64_t object; int position; };

static struct record *files;
static size_t nfiles, capfiles;
static uint64_t *sockets;
static size_t nsockets, capsockets;
static char text[1 << 22];

static void add_socket(uint64_t inode) {
    if (nsockets == capsockets)
        sockets = realloc(sockets, (capsockets = capsockets * 2 + 1024) * sizeof(*sockets));
    sockets[nsockets++] = inode;
}

/* The inode column of each line: the 10th field of the inet tables, the 7th of unix. */
static void read_table(const char *name, int field) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/net/%s", name);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    size_t len = 0;
    ssize_t n;
    while ((n = read(fd, text + len, sizeof(text) - 1 - len)) > 0)
        len += (size_t)n;
    close(fd);
    text[len] = '\0';
    char *line = strchr(text, '\n');
    while (line && *++line) {
        char *p = line;
        for (int f = 0; f < field && p; f++) {
            while (*p == ' ') p++;
            p = strchr(p, ' ');
        }
        if (p)
            add_socket(strtoull(p, NULL, 10));
        line = strchr(line, '\n');
    }
}

static void read_links(void) {
    DIR *proc = opendir("/proc");
    struct dirent *e;
    char path[300], link[4096];
    while ((e = readdir(proc)) != NULL) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        snprintf(path, sizeof(path), "/proc/%s/fd", e->d_name);
        int dfd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0)
            continue;
        DIR *fds = fdopendir(dfd);
        struct dirent *f;
        while ((f = readdir(fds)) != NULL) {
            if (f->d_name[0] < '0' || f->d_name[0] > '9')
                continue;
            ssize_t n = readlinkat(dfd, f->d_name, link, sizeof(link) - 1);
            if (n < 0)
                continue;
            link[n] = '\0';
            if (nfiles == capfiles)
                files = realloc(files, (capfiles = capfiles * 2 + 1024) * sizeof(*files));
            struct record *r = &files[nfiles++];
            memset(r, 0, sizeof(*r));
            r->size = sizeof(*r);
            r->pid = atoi(e->d_name);
            r->fd = atoi(f->d_name);
            r->data = strncmp(link, "socket:[", 8) == 0 ? strtoull(link + 8, NULL, 10) : 0;
        }
        closedir(fds);
    }
    closedir(proc);
}

static long long reads_once(void) {
    long long start = now_ns();
    nfiles = nsockets = 0;
    read_links();
    const char *inet[] = {"tcp", "tcp6", "udp", "udp6"};
    for (int i = 0; i < 4; i++)
        read_table(inet[i], 9);
    read_table("unix", 6);
    return now_ns() - start;
}

static long owned;

static long long scan_once(void) {
    long long start = now_ns();
    owned = 0;
    for (size_t s = 0; s < nsockets; s++)
        for (size_t i = 0; i < nfiles; i++)
            if (files[i].data == sockets[s] && files[i].data != 0) {
                owned++;
                break;
            }
    return now_ns() - start;
}

static int before(const void *a, const void *b) {
    const struct entry *x = a, *y = b;
    if (x->object != y->object)
        return x->object < y->object ? -1 : 1;
    return x->position - y->position;
}

static long long index_once(void) {
    long long start = now_ns();
    struct entry *entries = malloc((nfiles + 1) * sizeof(*entries));
    size_t n = 0;
    for (size_t i = 0; i < nfiles; i++)
        if (files[i].data != 0)
            entries[n++] = (struct entry){files[i].data, (int)i};
    qsort(entries, n, sizeof(*entries), before);
    long found = 0;
    for (size_t s = 0; s < nsockets; s++) {
        size_t lo = 0, hi = n;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (entries[mid].object < sockets[s]) lo = mid + 1; else hi = mid;
        }
        found += lo < n && entries[lo].object == sockets[s];
    }
    free(entries);
    if (found != owned)
        fprintf(stderr, "index found %ld owners, the scan %ld\n", found, owned);
    return now_ns() - start;
}

static long long median(long long (*fn)(void), int runs) {
    long long samples[32];
    for (int r = 0; r < runs; r++)
        samples[r] = fn();
    return median_ns(samples, runs);
}

int main(void) {
    printf("reads %lld\n", median(reads_once, 5));
    printf("scan %lld\n", median(scan_once, 3));
    printf("index %lld\n", median(index_once, 5));
    printf("files %zu\nsockets %zu\n", nfiles, nsockets);
    return 0;
}
