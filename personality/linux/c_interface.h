// The personality's C interface lets no C++ exception out to its callers: running out of
// memory inside a call becomes that call's failure, with ENOMEM.
#pragma once
#include <cerrno>
#include <new>

template <class Result, class Body>
Result without_exceptions(Result on_failure, Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
        return on_failure;
    }
}
