/* The timing the raw benchmarks share: the monotonic clock in nanoseconds and medians. */
#ifndef BENCH_TIMING_H
#define BENCH_TIMING_H

#include <stdlib.h>
#include <time.h>

static inline long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static inline int compare_ns(const void *a, const void *b) {
    long long x = *(const long long *)a, y = *(const long long *)b;
    return (x > y) - (x < y);
}

/* The middle one of count samples, which it sorts in place. */
static inline long long median_ns(long long *samples, int count) {
    qsort(samples, (size_t)count, sizeof(samples[0]), compare_ns);
    return samples[count / 2];
}

/* The median of 7 samples, each the mean nanoseconds of one pass over enough passes for
 * about 20 ms. */
static inline long long pass_ns(void (*pass)(void)) {
    long long start = now_ns();
    pass();
    long long once = now_ns() - start, calls = once > 0 ? 20000000 / once : 1000;
    calls = calls < 1 ? 1 : calls > 100000 ? 100000 : calls;
    long long samples[7];
    for (int s = 0; s < 7; ++s) {
        start = now_ns();
        for (long long i = 0; i < calls; ++i)
            pass();
        samples[s] = (now_ns() - start) / calls;
    }
    return median_ns(samples, 7);
}

#endif
