// One read(2) of a whole /proc or /sys file: into its own 4 KiB buffer, or a larger one on the
// heap when the file does not fit.
#include "linux/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace host {

int TextFile::read(const char *path) { return read_at(AT_FDCWD, path); }

int TextFile::read_at(int dirfd, const char *relpath) {
    int fd = openat(dirfd, relpath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = read_fd(fd);
    close(fd);
    return err;
}

int TextFile::read_fd(int fd) {
    size_t cap = sizeof(stack_);
    data_ = stack_;
    size_ = 0;
    for (;;) {
        ssize_t n = ::read(fd, data_ + size_, cap - size_);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        size_ += static_cast<size_t>(n);
        if (size_ == cap) {  // larger than the buffer: double it and read on
            auto bigger = std::make_unique<char[]>(cap * 2);
            std::memcpy(bigger.get(), data_, size_);
            heap_ = std::move(bigger);
            data_ = heap_.get();
            cap *= 2;
        }
    }
}

std::string_view next_field(std::string_view &text) {
    size_t start = text.find_first_not_of(" \t\n");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    size_t end = text.find_first_of(" \t\n", start);
    if (end == std::string_view::npos)
        end = text.size();
    std::string_view field = text.substr(start, end - start);
    text.remove_prefix(end);
    return field;
}

std::string_view next_line(std::string_view &text) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

long long to_ll(std::string_view field) {
    long long value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    return value;
}

unsigned long long to_ull(std::string_view field, int base) {
    unsigned long long value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value, base);
    return value;
}

}  // namespace host
