/* The raw cost of the host reads behind the CPU and memory functions, with no parsing. Each
 * line: a name and the median nanoseconds of one pass; then, for the two hot ones, the passes
 * per second from 1, 2 and 4 threads. Argument: the CPU whose frequency is read. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include "timing.h"

static int cpu;

static void read_file(const char *path) {
    char buf[1 << 14];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    while (read(fd, buf, sizeof(buf)) > 0) {
    }
    close(fd);
}

static void count(void) { sysconf(_SC_NPROCESSORS_ONLN); }
static void times(void) { read_file("/proc/stat"); }
static void per_cpu(void) {
    sysconf(_SC_NPROCESSORS_ONLN);
    read_file("/proc/stat");
}
static void stats(void) {
    read_file("/proc/stat");
    read_file("/proc/vmstat");
}
static void topology(void) {
    read_file("/sys/devices/system/cpu/online");
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    char path[160];
    for (long c = 0; c < n; ++c) {
        static const char *files[] = {"topology/package_cpus_list", "topology/thread_siblings_list"};
        for (int f = 0; f < 2; ++f) {
            snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%ld/%s", c, files[f]);
            read_file(path);
        }
        for (int i = 0; i < 4; ++i) {
            static const char *cache[] = {"level", "type", "shared_cpu_list"};
            for (int f = 0; f < 3; ++f) {
                snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%ld/cache/index%d/%s", c, i, cache[f]);
                read_file(path);
            }
        }
    }
}
static void freq(void) {
    char path[128];
    snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%d/cpufreq/scaling_cur_freq", cpu);
    read_file(path);
    snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%d/cpufreq/scaling_available_frequencies", cpu);
    read_file(path);
}
static void virtual_mem(void) {
    read_file("/proc/meminfo");
    read_file("/proc/stat");
}
static void swap(void) {
    read_file("/proc/swaps");
    read_file("/proc/vmstat");
}
static void heap_info(void) { (void)mallinfo2(); }
static void heap_trim(void) { malloc_trim(0); }

static void measure(const char *name, void (*pass)(void)) { printf("%s %lld\n", name, pass_ns(pass)); }

static atomic_int stop;
struct worker {
    void (*pass)(void);
    long passes;
};

static void *run(void *arg) {
    struct worker *w = arg;
    while (!atomic_load_explicit(&stop, memory_order_relaxed)) {
        w->pass();
        ++w->passes;
    }
    return NULL;
}

/* Passes per second from this many threads, over the given time. */
static void scale(const char *name, void (*pass)(void), double seconds) {
    for (int threads = 1; threads <= 4; threads *= 2) {
        pthread_t tid[4];
        struct worker w[4] = {{0}};
        atomic_store(&stop, 0);
        long long start = now_ns();
        for (int t = 0; t < threads; ++t) {
            w[t].pass = pass;
            pthread_create(&tid[t], NULL, run, &w[t]);
        }
        struct timespec nap = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
        nanosleep(&nap, NULL);
        atomic_store(&stop, 1);
        long total = 0;
        for (int t = 0; t < threads; ++t) {
            pthread_join(tid[t], NULL);
            total += w[t].passes;
        }
        printf("%s@%d %.0f\n", name, threads, total / ((now_ns() - start) / 1e9));
    }
}

int main(int argc, char **argv) {
    cpu = argc > 1 ? atoi(argv[1]) : 0;
    double seconds = argc > 2 ? atof(argv[2]) : 1.0;
    measure("cpu_count_logical", count);
    measure("cpu_times", times);
    measure("per_cpu_times", per_cpu);
    measure("cpu_topology", topology);
    measure("cpu_stats", stats);
    measure("cpu_freq", freq);
    measure("virtual_mem", virtual_mem);
    measure("swap_mem", swap);
    measure("heap_info", heap_info);
    measure("heap_trim", heap_trim);
    scale("cpu_times", times, seconds);
    scale("virtual_mem", virtual_mem, seconds);
    return 0;
}
