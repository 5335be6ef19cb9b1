/* The raw cost of the host reads behind the disk, sensor, boot-time and user functions, with
 * no parsing beyond what decides the next read. Each line: a name and the median nanoseconds
 * of one pass. Argument: the CPU whose temperature is read. */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>
#include "timing.h"

static char buf[1 << 16];
static int cpu;

static long read_file(const char *path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    long total = 0, n;
    while ((n = read(fd, buf, sizeof(buf))) > 0)
        total += n;
    close(fd);
    return total;
}

static void list_dir(const char *path) {
    DIR *d = opendir(path);
    if (d == NULL)
        return;
    while (readdir(d) != NULL) {
    }
    closedir(d);
}

/* The mount table, then statfs of each mount point (the whole table read once). */
static void partitions(void) {
    long n = read_file("/proc/self/mountinfo");
    for (char *line = buf; n > 0 && line < buf + n;) {
        char *end = memchr(line, '\n', (size_t)(buf + n - line));
        if (end == NULL)
            break;
        *end = '\0';
        char point[4096];
        if (sscanf(line, "%*s %*s %*s %*s %4095s", point) == 1) {
            struct statfs st;
            statfs(point, &st);
        }
        line = end + 1;
    }
}

static void mount_table(void) { read_file("/proc/self/mountinfo"); }
static void io_counters(void) { read_file("/proc/diskstats"); }

static void boot(void) {
    struct timespec a, b, c;
    clock_gettime(CLOCK_BOOTTIME, &a);
    clock_gettime(CLOCK_REALTIME, &b);
    clock_gettime(CLOCK_BOOTTIME, &c);
}

static void battery(void) { list_dir("/sys/class/power_supply"); }

static void temperature(void) {
    char path[128];
    snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%d/topology/core_id", cpu);
    read_file(path);
    snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%d/topology/physical_package_id", cpu);
    read_file(path);
    list_dir("/sys/class/hwmon");
    list_dir("/sys/class/thermal");
}

static void users(void) { read_file("/var/run/utmp"); }

static void measure(const char *name, void (*pass)(void)) { printf("%s %lld\n", name, pass_ns(pass)); }

int main(int argc, char **argv) {
    cpu = argc > 1 ? atoi(argv[1]) : 0;
    measure("mount_table", mount_table);
    measure("mount_table_statfs", partitions);
    measure("disk_io_counters", io_counters);
    measure("boot_time", boot);
    measure("sensors_battery", battery);
    measure("sensors_cpu_temperature", temperature);
    measure("users", users);
    return 0;
}
