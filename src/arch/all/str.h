// Bounded string routines: they never write past the buffer and never raise.
#pragma once
#include "module.h"

#include <cstddef>

LUMVIK_EXPORT int str_format(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
LUMVIK_EXPORT int str_copy(char *dst, size_t dst_size, const char *src);
LUMVIK_EXPORT int str_append(char *dst, size_t dst_size, const char *src);
