// kvm_getargv(3) as a FreeBSD caller sees it, against the argument text Linux keeps for this
// process, and the limits and empty answers of FreeBSD's library.
#include <kvm.h>
#include <sys/user.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

extern "C" {
void lumvik_control_answer(const char *key, const void *bytes, size_t len);
void lumvik_control_clear(const char *key);
}

namespace {

// FreeBSD's ARG_MAX on amd64.
constexpr size_t kArgMax = 524288;

struct KvmClose {
    void operator()(kvm_t *kd) const { kvm_close(kd); }
};

class KvmTest : public testing::Test {
protected:
    void TearDown() override { lumvik_control_clear(nullptr); }
    std::unique_ptr<kvm_t, KvmClose> kd_{kvm_openfiles(nullptr, "/dev/null", nullptr, O_RDONLY, errbuf_)};
    char errbuf_[_POSIX2_LINE_MAX] = "";
};

struct kinfo_proc process(pid_t pid) {
    struct kinfo_proc kp = {};
    kp.ki_pid = pid;
    return kp;
}

std::vector<std::string> strings_of(char **argv) {
    std::vector<std::string> out;
    for (; argv != nullptr && *argv != nullptr; ++argv)
        out.emplace_back(*argv);
    return out;
}

// What FreeBSD's library makes of a text read into a buffer of limit bytes: a cut text ends
// with a NUL in its last byte, then each NUL ends one string.
std::vector<std::string> split_as_freebsd(std::string text, size_t limit) {
    if (text.size() > limit) {
        text.resize(limit);
        text.back() = '\0';
    }
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size(); at += out.back().size() + 1)
        out.emplace_back(text.c_str() + at);
    return out;
}

TEST_F(KvmTest, ArgumentsAreLinuxsCommandLine) {
    ASSERT_NE(kd_, nullptr) << errbuf_;
    const std::string cmdline = test_support::read_whole("/proc/self/cmdline");
    ASSERT_FALSE(cmdline.empty());
    struct kinfo_proc self = process(getpid());
    const struct {
        int nchr;
        size_t limit;
    } rows[] = {
        {0, kArgMax},                 // 0: ARG_MAX
        {static_cast<int>(kArgMax) + 1, kArgMax},
        {-1, kArgMax},
        {static_cast<int>(cmdline.size()), cmdline.size()},  // exactly the text
        {5, 5},                       // cut: the last byte a NUL
        {1, 1},                       // a single NUL: one empty string
    };
    for (const auto &row : rows) {
        errno = 0;
        char **argv = kvm_getargv(kd_.get(), &self, row.nchr);
        ASSERT_NE(argv, nullptr) << row.nchr;
        EXPECT_EQ(strings_of(argv), split_as_freebsd(cmdline, row.limit)) << row.nchr;
        EXPECT_EQ(errno, 0) << row.nchr;
    }
}

TEST_F(KvmTest, ALongTextIsCutAtArgMax) {
    ASSERT_NE(kd_, nullptr) << errbuf_;
    const std::string text(kArgMax + 100, 'a');
    lumvik_control_answer("kern.proc.args.4242", text.data(), text.size());
    struct kinfo_proc kp = process(4242);
    char **argv = kvm_getargv(kd_.get(), &kp, 0);
    ASSERT_NE(argv, nullptr);
    EXPECT_EQ(strings_of(argv), std::vector<std::string>{std::string(kArgMax - 1, 'a')});
}

TEST_F(KvmTest, NoArgumentsAndNoProcessGiveNull) {
    ASSERT_NE(kd_, nullptr) << errbuf_;
    lumvik_control_answer("kern.proc.args.4242", "", 0);  // a kernel process's empty text
    struct kinfo_proc kernel = process(4242);
    errno = 0;
    EXPECT_EQ(kvm_getargv(kd_.get(), &kernel, 0), nullptr);
    EXPECT_EQ(errno, 0);

    struct kinfo_proc gone = process(test_support::absent_pid());
    errno = 0;
    EXPECT_EQ(kvm_getargv(kd_.get(), &gone, 0), nullptr);
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
