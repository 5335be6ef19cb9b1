#include "arch/all/str.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arch/all/errors.h"

static constexpr const char *kUnit = "arch/all/str";

// Misuse of a string routine: fatal in testing mode, a debug line otherwise.
static void str_fatal(const char *msg) {
    if (lumvik_testing_on()) {
        std::fprintf(stderr, "CRITICAL: %s\n", msg);
        std::fflush(stderr);
        std::exit(1);
    }
    lumvik_debug(kUnit, 27, "%s", msg);
}

int str_format(char *buf, size_t size, const char *fmt, ...) {
    if (size == 0) {
        str_fatal("str_format: invalid arg 'size' = 0");
        return -1;
    }
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, size, fmt, ap);
    va_end(ap);
    if (n >= 0 && static_cast<size_t>(n) < size)
        return n;
    lumvik_debug(kUnit, 55, "str_format: error in format '%s'", fmt);
    buf[size - 1] = '\0';
    return -1;
}

int str_copy(char *dst, size_t dst_size, const char *src) {
    if (dst_size == 0) {
        str_fatal("str_copy: invalid arg 'dst_size' = 0");
        return -1;
    }
    std::strncpy(dst, src, dst_size - 1);
    dst[dst_size - 1] = '\0';
    return 0;
}

int str_append(char *dst, size_t dst_size, const char *src) {
    if (dst_size == 0 || dst == nullptr || src == nullptr) {
        str_fatal("str_append: invalid arg");
        return -1;
    }
    if (strlcat(dst, src, dst_size) < dst_size)
        return 0;
    str_fatal("str_append: truncated");
    return -1;
}
