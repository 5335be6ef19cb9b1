// Reading a whole /proc or /sys file in one read where it fits: the kernel builds such a file
// at the first read, so one read is one consistent snapshot.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

namespace host {

class TextFile {
public:
    // 0, or the errno of the open or read that failed.
    int read(const char *path);
    int read_at(int dirfd, const char *relpath);
    std::string_view text() const { return {data_, size_}; }
    void clear() { size_ = 0; }

private:
    int read_fd(int fd);

    char stack_[4096];
    std::unique_ptr<char[]> heap_;
    char *data_ = stack_;
    size_t size_ = 0;
};

// The next whitespace-separated field of text, advancing it.
std::string_view next_field(std::string_view &text);
// A decimal number (a leading '-' allowed); 0 when there is none.
long long to_ll(std::string_view field);
unsigned long long to_ull(std::string_view field);

}  // namespace host
