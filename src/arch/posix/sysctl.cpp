#include "arch/posix/sysctl.h"

#include <sys/sysctl.h>

#include <cerrno>
#include <cstdlib>

#include "arch/all/errors.h"
#include "arch/all/str.h"

static constexpr const char *kUnit = "arch/posix/sysctl";
static constexpr int kFetchAttempts = 10;

namespace {

// What an allocating read says about itself: its call texts and its debug lines.
struct AllocTexts {
    const char *fname;        // for lumvik_badargs
    const char *call_fmt;     // "sysctl()" or "sysctlbyname('%s')"
    const char *name;         // the node name filled into call_fmt, or null
    int size_zero_line;
    int retry_line;
};

void raise_step(const AllocTexts &t, const char *step) {
    int saved = errno;  // formatting may write a debug line
    char call[256], msg[256];
    str_format(call, sizeof(call), t.call_fmt, t.name);
    str_format(msg, sizeof(msg), "%s %s", call, step);
    errno = saved;
    lumvik_oserror_wsyscall(msg);
}

// Probe the size, allocate exactly that much, fetch; on ENOMEM the node grew: probe again,
// at most kFetchAttempts fetches in all.
template <class Query>
int sysctl_alloc(const Query &query, const AllocTexts &t, char **out, size_t *outlen) {
    size_t size = 0;
    if (query(nullptr, &size) == -1) {
        raise_step(t, "malloc 1/3");
        return -1;
    }
    if (size == 0)
        lumvik_debug(kUnit, t.size_zero_line, "%s() size = 0", t.fname);
    for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
        char *buf = static_cast<char *>(std::calloc(1, size));
        if (buf == nullptr) {
            PyErr_NoMemory();
            return -1;
        }
        size_t len = size;
        if (query(buf, &len) == 0) {
            *out = buf;
            *outlen = len;
            return 0;
        }
        int saved = errno;
        std::free(buf);
        if (saved != ENOMEM) {
            errno = saved;
            raise_step(t, "malloc 3/3");
            return -1;
        }
        if (query(nullptr, &size) == -1) {
            raise_step(t, "malloc 2/3");
            return -1;
        }
        lumvik_debug(kUnit, t.retry_line, "%s() retry", t.fname);
    }
    char call[256], msg[256];
    str_format(call, sizeof(call), t.call_fmt, t.name);
    str_format(msg, sizeof(msg), "%s buffer allocation retry limit exceeded", call);
    lumvik_runtime_error("%s", msg);
    return -1;
}

}  // namespace

int lumvik_sysctl(int *mib, u_int miblen, void *buf, size_t buflen) {
    if (mib == nullptr || miblen == 0 || buf == nullptr || buflen == 0)
        return lumvik_badargs("lumvik_sysctl");
    size_t len = buflen;
    if (sysctl(mib, miblen, buf, &len, nullptr, 0) == -1) {
        lumvik_oserror_wsyscall("sysctl()");
        return -1;
    }
    if (len > buflen) {
        lumvik_runtime_error("sysctl() size mismatch");
        return -1;
    }
    return 0;
}

int lumvik_sysctl_malloc(int *mib, u_int miblen, char **buf, size_t *buflen) {
    if (mib == nullptr || miblen == 0 || buf == nullptr || buflen == nullptr)
        return lumvik_badargs("lumvik_sysctl_malloc");
    auto query = [&](void *old, size_t *len) { return sysctl(mib, miblen, old, len, nullptr, 0); };
    return sysctl_alloc(query, {"lumvik_sysctl_malloc", "sysctl()", nullptr, 60, 92}, buf, buflen);
}

size_t lumvik_sysctl_argmax(void) {
    int mib[] = {CTL_KERN, KERN_ARGMAX};
    int argmax = 0;
    size_t len = sizeof(argmax);
    if (sysctl(mib, 2, &argmax, &len, nullptr, 0) == -1) {
        lumvik_oserror_wsyscall("sysctl()");
        return 0;
    }
    if (len > sizeof(argmax)) {
        lumvik_runtime_error("sysctl() size mismatch");
        return 0;
    }
    if (argmax <= 0) {
        lumvik_runtime_error("sysctl(KERN_ARGMAX) return <= 0");
        return 0;
    }
    return static_cast<size_t>(argmax);
}

int lumvik_sysctlbyname(const char *name, void *buf, size_t buflen) {
    if (name == nullptr || buf == nullptr || buflen == 0)
        return lumvik_badargs("lumvik_sysctlbyname");
    size_t len = buflen;
    char msg[256];
    if (sysctlbyname(name, buf, &len, nullptr, 0) == -1) {
        int saved = errno;  // formatting may write a debug line
        str_format(msg, sizeof(msg), "sysctlbyname('%s')", name);
        errno = saved;
        lumvik_oserror_wsyscall(msg);
        return -1;
    }
    if (len > buflen) {
        str_format(msg, sizeof(msg), "sysctlbyname('%s') size mismatch: returned %zu, expected %zu", name, len,
                   buflen);
        lumvik_runtime_error("%s", msg);
        return -1;
    }
    return 0;
}

int lumvik_sysctlbyname_malloc(const char *name, char **buf, size_t *buflen) {
    if (name == nullptr || buf == nullptr || buflen == nullptr)
        return lumvik_badargs("lumvik_sysctlbyname_malloc");
    auto query = [&](void *old, size_t *len) { return sysctlbyname(name, old, len, nullptr, 0); };
    return sysctl_alloc(query, {"lumvik_sysctlbyname_malloc", "sysctlbyname('%s')", name, 184, 220}, buf, buflen);
}
