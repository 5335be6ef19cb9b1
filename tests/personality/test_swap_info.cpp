// vm.swap_info, vm.nswapdev and kvm_getswapinfo against /proc/swaps, with a swap file the test
// switches on (as root, where the host lets it).
#include <sys/stat.h>
#include <sys/sysctl.h>
#include <vm/vm_param.h>
#include <kvm.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixtures.h"
#include "test_support.h"

namespace {

struct Device {
    std::string path;
    bool partition;
    uint64_t kib, used_kib;
    bool operator==(const Device &) const = default;
};

std::vector<Device> proc_swaps() {
    std::istringstream in(test_support::read_whole("/proc/swaps"));
    std::string line;
    std::getline(in, line);  // the heading
    std::vector<Device> out;
    for (Device d; in >> d.path;) {
        std::string type;
        int priority;
        in >> type >> d.kib >> d.used_kib >> priority;
        d.partition = type == "partition";
        out.push_back(d);
    }
    return out;
}

std::vector<int> swap_info_number() {
    int mib[CTL_MAXNAME];
    size_t len = CTL_MAXNAME;
    EXPECT_EQ(sysctlnametomib("vm.swap_info", mib, &len), 0);
    return {mib, mib + len};
}

int swap_record(std::vector<int> mib, int index, void *buf, size_t &len) {
    mib.push_back(index);
    return sysctl(mib.data(), static_cast<unsigned>(mib.size()), buf, &len, nullptr, 0);
}

// One swap file for the suite, so that the host has it switched on once, briefly.
class SwapInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() { file_ = std::make_unique<fixtures::SwapFile>(); }
    static void TearDownTestSuite() { file_.reset(); }
    void SetUp() override {
        if (!file_->active())
            GTEST_SKIP() << "no swap file could be switched on: " << file_->why();
    }
    static std::unique_ptr<fixtures::SwapFile> file_;
};
std::unique_ptr<fixtures::SwapFile> SwapInfo::file_;

}  // namespace

TEST_F(SwapInfo, EachDeviceAsProcSwapsListsIt) {
    const fixtures::SwapFile &file = *file_;
    const long page_kib = sysconf(_SC_PAGESIZE) / 1024;
    std::vector<int> mib = swap_info_number();

    // Used pages move while the host swaps: compare a reading taken between two equal ones.
    bool compared = false;
    for (int attempt = 0; attempt < 100 && !compared; ++attempt) {
        std::vector<Device> before = proc_swaps();
        std::vector<struct xswdev> records;
        for (int i = 0;; ++i) {
            struct xswdev xs;
            size_t len = sizeof(xs);
            if (swap_record(mib, i, &xs, len) != 0) {
                EXPECT_EQ(errno, ENOENT);
                break;
            }
            ASSERT_EQ(len, sizeof(xs));
            records.push_back(xs);
        }
        int count = 0;
        size_t len = sizeof(count);
        ASSERT_EQ(sysctlbyname("vm.nswapdev", &count, &len, nullptr, 0), 0);
        struct kvm_swap ksw[16];
        kvm_t *kd = kvm_open(nullptr, nullptr, nullptr, 0, nullptr);
        ASSERT_NE(kd, nullptr);
        int total_index = kvm_getswapinfo(kd, ksw, 16, 0);
        kvm_close(kd);
        if (proc_swaps() != before)
            continue;
        compared = true;
        ASSERT_EQ(records.size(), before.size());
        EXPECT_EQ(count, static_cast<int>(before.size()));
        ASSERT_EQ(total_index, static_cast<int>(before.size()));
        for (size_t i = 0; i < before.size(); ++i) {
            const Device &d = before[i];
            struct stat st;
            ASSERT_EQ(stat(d.path.c_str(), &st), 0) << d.path;
            EXPECT_EQ(records[i].xsw_version, static_cast<u_int>(XSWDEV_VERSION));
            EXPECT_EQ(records[i].xsw_dev, d.partition ? st.st_rdev : st.st_dev) << d.path;
            EXPECT_EQ(records[i].xsw_flags, d.partition ? 1 : 0) << d.path;
            EXPECT_EQ(records[i].xsw_nblks, static_cast<int>(d.kib / page_kib)) << d.path;
            EXPECT_EQ(records[i].xsw_used, static_cast<int>(d.used_kib / page_kib)) << d.path;
            // kvm_getswapinfo reports the same devices with the same sizes.
            EXPECT_EQ(ksw[i].ksw_total, static_cast<u_int>(records[i].xsw_nblks)) << d.path;
            EXPECT_EQ(ksw[i].ksw_used, static_cast<u_int>(records[i].xsw_used)) << d.path;
            EXPECT_EQ(ksw[i].ksw_flags, records[i].xsw_flags) << d.path;
        }
        bool ours = false;
        for (const Device &d : before)
            ours = ours || d.path == file.path();
        EXPECT_TRUE(ours) << file.path() << " is not in /proc/swaps";
    }
    EXPECT_TRUE(compared) << "/proc/swaps never held still";
}

// The record by the length a caller asks for: FreeBSD 11's 20 bytes (version 1, a 32-bit
// device), a 32-bit process's 24 (version 2, the device in two halves), else today's 32.
TEST_F(SwapInfo, OlderCallersGetTheirRecords) {
    std::vector<int> mib = swap_info_number();
    struct Case {
        size_t room;
        size_t len;
        u_int version;
    } cases[] = {{20, 20, 1}, {24, 24, 2}, {32, 32, 2}, {64, 32, 2}};
    for (const Case &c : cases) {
        unsigned char buf[64] = {};
        size_t len = c.room;
        ASSERT_EQ(swap_record(mib, 0, buf, len), 0) << c.room;
        EXPECT_EQ(len, c.len) << c.room;
        u_int version;
        std::memcpy(&version, buf, sizeof(version));
        EXPECT_EQ(version, c.version) << c.room;
    }
    unsigned char buf[16];
    size_t len = sizeof(buf);  // too short for any form: what fits, then ENOMEM
    EXPECT_EQ(swap_record(mib, 0, buf, len), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(len, sizeof(buf));
}
