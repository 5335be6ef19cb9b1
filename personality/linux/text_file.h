// Reading a whole /proc or /sys file in one read where it fits: the kernel builds such a file
// at the first read, so one read is one consistent snapshot.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

namespace host {

class TextFile {
public:
    TextFile() = default;
    TextFile(const TextFile &) = delete;  // text() may point into the object itself
    TextFile &operator=(const TextFile &) = delete;

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
// The next line of text without its newline, advancing text past it.
std::string_view next_line(std::string_view &text);
// Calls visit(key, value) for each "Key: value" line of text.
template <class Visit>
void for_each_key_value(std::string_view text, Visit visit) {
    while (!text.empty()) {
        std::string_view line = next_line(text);
        size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            visit(line.substr(0, colon), line.substr(colon + 1));
    }
}
// A number in the given base (a leading '-' allowed for to_ll); 0 when there is none.
long long to_ll(std::string_view field);
unsigned long long to_ull(std::string_view field, int base = 10);

}  // namespace host
