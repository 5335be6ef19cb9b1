// Every C entry point of the personality runs its body through without_exceptions, so that no
// C++ exception reaches its C callers: running out of memory inside a call (or asking for more
// than can be allocated) becomes that call's failure with ENOMEM, any other exception EIO.
#pragma once
#include <cerrno>
#include <new>
#include <stdexcept>

namespace c_interface {

inline void fail_on_exception() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
    } catch (const std::length_error &) {
        errno = ENOMEM;
    } catch (...) {
        errno = EIO;
    }
}

struct NoCleanup {
    void operator()() const noexcept {}
};

}  // namespace c_interface

// body()'s result, or on_failure with errno set after on_exception() when body throws.
template <class Result, class Body, class OnException = c_interface::NoCleanup>
Result without_exceptions(Result on_failure, Body body, OnException on_exception = {}) noexcept {
    try {
        return body();
    } catch (...) {
        c_interface::fail_on_exception();
        int err = errno;
        on_exception();
        errno = err;
        return on_failure;
    }
}

// For entry points without a result.
template <class Body>
void without_exceptions(Body body) noexcept {
    try {
        body();
    } catch (...) {
        c_interface::fail_on_exception();
    }
}
