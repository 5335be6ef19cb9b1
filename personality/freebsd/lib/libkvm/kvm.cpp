// kvm_openfiles(3), kvm_open(3), kvm_close(3) and kvm_geterr(3) of FreeBSD's kvm.c: a handle
// on the live system, always available (a test may make the open fail).
#include "freebsd/lib/libkvm/kvm_private.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "freebsd/c_interface.h"
#include "control/control.h"

void kvm_set_error(char *errbuf, const char *call, const char *text) {
    std::snprintf(errbuf, _POSIX2_LINE_MAX, "%s: %s", call, text);
}

kvm_t *kvm_openfiles(const char *, const char *, const char *, int, char *errbuf) {
    auto report = [&] { kvm_set_error(errbuf, "kvm_openfiles", std::strerror(errno)); };
    return without_exceptions<kvm_t *>(nullptr, [&]() -> kvm_t * {
        control::Outcome o = control::consult("kvm_openfiles", {}, true);
        if (o.action == control::Action::fail) {
            kvm_set_error(errbuf, "kvm_openfiles", std::strerror(o.err));
            return nullptr;
        }
        if (o.action == control::Action::answer) {  // the library's own error text
            std::snprintf(errbuf, _POSIX2_LINE_MAX, "%.*s", static_cast<int>(o.bytes.size()), o.bytes.data());
            return nullptr;
        }
        return new __kvm;
    }, report);
}

// The live system's handle; a failure is told on stderr behind errstr, as FreeBSD's library does.
kvm_t *kvm_open(const char *, const char *, const char *, int, const char *errstr) {
    auto complain = [&](const std::string &text) {
        std::fprintf(stderr, "%s: %s\n", errstr != nullptr ? errstr : "kvm_open", text.c_str());
    };
    return without_exceptions<kvm_t *>(nullptr, [&]() -> kvm_t * {
        control::Outcome o = control::consult("kvm_open", {}, true);
        if (o.action == control::Action::fail) {
            complain(std::strerror(o.err));
            errno = o.err;
            return nullptr;
        }
        if (o.action == control::Action::answer) {  // the library's own error text
            complain(o.bytes);
            return nullptr;
        }
        return new __kvm;
    });
}

int kvm_close(kvm_t *kd) {
    return without_exceptions<int>(-1, [&] {
        delete kd;
        return 0;
    });
}

char *kvm_geterr(kvm_t *kd) {
    return without_exceptions<char *>(nullptr, [&] { return kd->errbuf; });
}
