// strlcat(3) as FreeBSD's lib/libc/string/strlcat.c gives it, where the host's C library lacks it.
#include <string.h>

#include "freebsd/c_interface.h"

#if !defined(__GLIBC__) || !__GLIBC_PREREQ(2, 38)
size_t strlcat(char *dst, const char *src, size_t dstsize) {
    return without_exceptions<size_t>(0, [&]() -> size_t {
        size_t dlen = strnlen(dst, dstsize);
        size_t slen = strlen(src);
        if (dlen == dstsize)  // no terminator within dstsize: nothing is appended
            return dstsize + slen;
        size_t n = slen < dstsize - dlen - 1 ? slen : dstsize - dlen - 1;
        memcpy(dst + dlen, src, n);
        dst[dlen + n] = '\0';
        return dlen + slen;
    });
}
#endif
