// What a sysctl node writes its value into, as FreeBSD's SYSCTL_OUT: without a caller buffer
// (a size probe) it only counts; with one it copies what fits and counts the rest. It also
// carries the caller's new value, which some handlers take as their input ({0,3}: a name).
#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>

class SysctlReply {
public:
    SysctlReply(void *buf, size_t cap) : buf_(static_cast<char *>(buf)), cap_(buf ? cap : 0), asked_(cap) {}

    bool probing() const { return buf_ == nullptr; }
    void out(const void *data, size_t len) {
        // A zero-length value may come as a null pointer, which memcpy must not be handed.
        if (buf_ != nullptr && size_ < cap_ && len != 0)
            std::memcpy(buf_ + size_, data, len < cap_ - size_ ? len : cap_ - size_);
        size_ += len;
    }
    // Room counted without data, as FreeBSD's probes add slack for tables that may grow.
    void reserve(size_t len) { size_ += len; }
    size_t size() const { return size_; }
    bool overflowed() const { return buf_ != nullptr && size_ > cap_; }
    size_t capacity() const { return cap_; }
    // The length the caller passed in, probe or not: some nodes answer by it, as FreeBSD's
    // 64-bit counters answer 32 bits to a caller that asks for 4 bytes.
    size_t requested() const { return asked_; }
    void take_input(const void *value, size_t len) {
        in_ = static_cast<const char *>(value);
        in_len_ = value ? len : 0;
    }
    bool has_input() const { return in_ != nullptr; }
    std::string_view input() const { return {in_ ? in_ : "", in_len_}; }

private:
    char *buf_;
    size_t cap_;
    size_t asked_;
    size_t size_ = 0;
    const char *in_ = nullptr;
    size_t in_len_ = 0;
};
