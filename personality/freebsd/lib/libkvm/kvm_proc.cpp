// kvm_getprocs(3), kvm_getargv(3) and kvm_getenvv(3) of FreeBSD's lib/libkvm/kvm_proc.c
// (kvm_getprocs(), kvm_argv()) on the live system: process records and argument vectors from the
// sysctl tree (kern.proc.*), environments from the host.
#include "freebsd/lib/libkvm/kvm_private.h"

#include <sys/sysctl.h>

#include <limits.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "linux/procfs/procfs.h"

namespace {

// Fetches of a table that keeps growing past its size probe, before giving up with ENOMEM.
constexpr int kFetchAttempts = 10;

// FreeBSD's ARG_MAX (<sys/syslimits.h> on amd64): the most of an argument text kvm_getargv reads.
constexpr int kArgMax = 2 * 256 * 1024;

// The environment text as kvm_getenvv's strings: "A=1\0B=2\0" becomes {"A=1", "B=2", NULL}.
char **split_entries(kvm_t *kd, std::string text, int nchr) {
    if (nchr > 0 && text.size() > static_cast<size_t>(nchr))
        text.resize(static_cast<size_t>(nchr));
    kd->env_text = std::move(text);
    kd->env_text.push_back('\0');  // the last entry ends even when the text was cut
    kd->env.clear();
    for (size_t at = 0; at + 1 < kd->env_text.size(); at += std::strlen(&kd->env_text[at]) + 1)
        kd->env.push_back(&kd->env_text[at]);
    kd->env.push_back(nullptr);
    return kd->env.data();
}

}  // namespace

struct kinfo_proc *kvm_getprocs(kvm_t *kd, int op, int arg, int *cnt) {
    return without_exceptions<struct kinfo_proc *>(nullptr, [&]() -> struct kinfo_proc * {
        int mib[] = {CTL_KERN, KERN_PROC, op, arg};
        unsigned miblen = (op & ~KERN_PROC_INC_THREAD) == KERN_PROC_ALL ? 3 : 4;  // the whole table takes no argument
        // The table may grow between the size probe and the fetch: probe again, as FreeBSD's
        // library does, a bounded number of times.
        for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
            size_t len = 0;
            if (sysctl(mib, miblen, nullptr, &len, nullptr, 0) == -1)
                break;
            // Room for all the probe reported, in whole records (a trailing partial one included),
            // and one record at least: an empty answer still gets a valid address and a count
            // of 0, as FreeBSD's library gives it.
            const size_t records = len / sizeof(struct kinfo_proc) + (len % sizeof(struct kinfo_proc) != 0);
            kd->procs.assign(std::max<size_t>(records, 1), {});
            len = kd->procs.size() * sizeof(struct kinfo_proc);
            if (sysctl(mib, miblen, kd->procs.data(), &len, nullptr, 0) == 0) {
                kd->procs.resize(len / sizeof(struct kinfo_proc));  // a trailing partial record is left out
                *cnt = static_cast<int>(kd->procs.size());
                return kd->procs.data();
            }
            if (errno != ENOMEM)
                break;
        }
        kvm_set_error(kd->errbuf, "kvm_getprocs", std::strerror(errno));
        return nullptr;
    });
}

char **kvm_getargv(kvm_t *kd, const struct kinfo_proc *kp, int nchr) {
    return without_exceptions<char **>(nullptr, [&]() -> char ** {
        if (nchr <= 0 || nchr > kArgMax)  // FreeBSD's library cannot allocate a negative limit: ARG_MAX here
            nchr = kArgMax;
        // One byte more than the caller's limit, kept NUL, ends the last string whatever the text.
        kd->args_text.assign(static_cast<size_t>(nchr) + 1, '\0');
        int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_ARGS, kp->ki_pid};
        size_t len = static_cast<size_t>(nchr);
        if (sysctl(mib, 4, kd->args_text.data(), &len, nullptr, 0) == -1) {
            if (errno != ENOMEM || len != static_cast<size_t>(nchr))
                return nullptr;
            kd->args_text[len - 1] = '\0';  // cut to the limit, as FreeBSD's library does
            errno = 0;
        } else if (len == 0) {
            return nullptr;  // a kernel process has no arguments
        }
        kd->args.clear();
        for (size_t at = 0; at < len; at += std::strlen(&kd->args_text[at]) + 1)
            kd->args.push_back(&kd->args_text[at]);
        kd->args.push_back(nullptr);
        return kd->args.data();
    });
}

char **kvm_getenvv(kvm_t *kd, const struct kinfo_proc *kp, int nchr) {
    return without_exceptions<char **>(nullptr, [&]() -> char ** {
        control::Outcome o = control::consult("kvm_getenvv", {kp->ki_pid}, true);
        if (o.action == control::Action::fail) {
            errno = o.err;
            return nullptr;
        }
        if (o.action == control::Action::answer)
            return split_entries(kd, std::move(o.bytes), nchr);
        host::TextFile environ_file;
        switch (int err = host::read_environ(kp->ki_pid, environ_file)) {
        case 0:
            return split_entries(kd, std::string(environ_file.text()), nchr);
        case EACCES:  // FreeBSD refuses another user's process with EPERM
            errno = EPERM;
            return nullptr;
        default:
            errno = err;
            return nullptr;
        }
    });
}
