// An owned kernel-memory library handle, closed at scope exit.
#pragma once
#include <kvm.h>
#include <memory>

struct KvmClose {
    void operator()(kvm_t *kd) const { kvm_close(kd); }
};
using KvmHandle = std::unique_ptr<kvm_t, KvmClose>;
