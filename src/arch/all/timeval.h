#pragma once
#include <sys/time.h>

// A timeval as float seconds.
inline double timeval_seconds(const struct timeval &tv) {
    return static_cast<double>(tv.tv_usec) / 1000000.0 + static_cast<double>(tv.tv_sec);
}
