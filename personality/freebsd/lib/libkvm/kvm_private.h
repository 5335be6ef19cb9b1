// The live system's kvm handle, as FreeBSD's kvm_private.h keeps its own: what a call hands
// out stays the handle's until the next call or kvm_close.
#pragma once
#include <kvm.h>
#include <limits.h>
#include <sys/user.h>

#include <string>
#include <vector>

struct __kvm {
    char errbuf[_POSIX2_LINE_MAX] = "";
    std::vector<struct kinfo_proc> procs;
    std::string env_text;
    std::vector<char *> env;
    std::vector<char> args_text;
    std::vector<char *> args;
};

// The handle's error text, "call: text", as FreeBSD's _kvm_err() writes it.
void kvm_set_error(char *errbuf, const char *call, const char *text);
