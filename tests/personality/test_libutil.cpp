// kinfo_getfile(3) and kinfo_getvmmap(3) as a FreeBSD caller sees them, checked against the
// files, sockets and mappings the test makes itself; and the host parsers beneath them.
#include <libutil.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/user.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/auxv.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <latch>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "freebsd/kernel_addresses.h"
#include "linux/procfs/fds.h"
#include "linux/procfs/maps.h"
#include "linux/procfs/procfs.h"
#include "linux/net/proc_net.h"
#include "host_fixtures.h"

extern "C" {
void lumvik_control_answer(const char *key, const void *bytes, size_t len);
void lumvik_control_fail(const char *key, int err);
void lumvik_control_clear(const char *key);
}

namespace {

namespace fs = std::filesystem;

static_assert(sizeof(struct kinfo_file) == 1392 && sizeof(struct kinfo_vmentry) == 1160);

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

// What one call returned: the records (freed at scope exit) and their count.
template <class Record>
struct Records {
    std::unique_ptr<Record, FreeDeleter> data;
    int count = -1;
    int err = 0;  // errno when data is null
    std::span<const Record> all() const { return {data.get(), static_cast<size_t>(count > 0 ? count : 0)}; }
};

Records<struct kinfo_file> files_of(pid_t pid) {
    Records<struct kinfo_file> r;
    errno = 0;
    r.data.reset(kinfo_getfile(pid, &r.count));
    r.err = errno;
    return r;
}

Records<struct kinfo_vmentry> maps_of(pid_t pid) {
    Records<struct kinfo_vmentry> r;
    errno = 0;
    r.data.reset(kinfo_getvmmap(pid, &r.count));
    r.err = errno;
    return r;
}

const struct kinfo_file *find_fd(const Records<struct kinfo_file> &r, int fd) {
    for (const struct kinfo_file &kf : r.all())
        if (kf.kf_fd == fd)
            return &kf;
    return nullptr;
}

// The mapping that holds address, or null.
const struct kinfo_vmentry *find_mapping(const Records<struct kinfo_vmentry> &r, const void *address) {
    auto at = reinterpret_cast<uint64_t>(address);
    for (const struct kinfo_vmentry &kve : r.all())
        if (kve.kve_start <= at && at < kve.kve_end)
            return &kve;
    return nullptr;
}

struct stat stat_of(int fd) {
    struct stat st = {};
    EXPECT_EQ(fstat(fd, &st), 0);
    return st;
}

// The two bytes of a port in network order, computed by hand.
std::string port_bytes(uint16_t port) { return {static_cast<char>(port >> 8), static_cast<char>(port & 0xff)}; }

template <class Sockaddr>
Sockaddr as(const struct sockaddr_storage &ss) {
    Sockaddr sa;
    std::memcpy(&sa, &ss, sizeof(sa));
    return sa;
}

// A pid no process can have: pids stay below pid_max.
pid_t unused_pid() {
    std::ifstream in("/proc/sys/kernel/pid_max");
    pid_t pid_max = 0;
    in >> pid_max;
    return pid_max;
}

// A private directory, the working directory while the test runs; both undone afterwards.
class LibutilTest : public testing::Test {
protected:
    void SetUp() override {
        saved_cwd_ = fs::current_path();
        char templ[] = "/tmp/lumvik-libutil-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = fs::canonical(templ);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        lumvik_control_clear(nullptr);
        for (int fd : fds_)
            close(fd);
        for (auto [address, length] : mappings_)
            munmap(address, length);
        fs::current_path(saved_cwd_);
        fs::remove_all(dir_);
    }
    // fd, closed at the end of the test.
    int keep(int fd) {
        EXPECT_GE(fd, 0);
        fds_.push_back(fd);
        return fd;
    }
    void *keep_mapping(void *address, size_t length) {
        EXPECT_NE(address, MAP_FAILED);
        mappings_.emplace_back(address, length);
        return address;
    }
    int create_file(const std::string &name, std::string_view content, int flags = O_RDWR) {
        int fd = keep(open((dir_ / name).c_str(), flags | O_CREAT | O_CLOEXEC, 0640));
        EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        return fd;
    }

    fs::path dir_, saved_cwd_;
    std::vector<int> fds_;
    std::vector<std::pair<void *, size_t>> mappings_;
};

// ---- kinfo_getfile, live ----

TEST_F(LibutilTest, GetfileStartsWithTheSpecialEntriesThenEveryDescriptorAscending) {
    create_file("a.txt", "x");
    Records<struct kinfo_file> r = files_of(getpid());
    ASSERT_NE(r.data, nullptr) << std::strerror(r.err);

    std::vector<int> special, numbered;
    for (const struct kinfo_file &kf : r.all()) {
        EXPECT_EQ(kf.kf_structsize, 1392);
        (kf.kf_fd < 0 ? special : numbered).push_back(kf.kf_fd);
        EXPECT_EQ(kf.kf_path[sizeof(kf.kf_path) - 1], '\0');
    }
    host::ProcessSnapshot self;
    ASSERT_EQ(host::read_process(getpid(), self), 0);
    const host::ProcStat &stat = self.stat;
    if (stat.tty_nr != 0 && find_fd(r, KF_FD_TYPE_CTTY) != nullptr)
        EXPECT_EQ(special, (std::vector<int>{KF_FD_TYPE_TEXT, KF_FD_TYPE_CTTY, KF_FD_TYPE_CWD, KF_FD_TYPE_ROOT}));
    else
        EXPECT_EQ(special, (std::vector<int>{KF_FD_TYPE_TEXT, KF_FD_TYPE_CWD, KF_FD_TYPE_ROOT}));
    ASSERT_EQ(r.all().size(), special.size() + numbered.size());
    for (size_t i = 0; i < special.size(); ++i)
        EXPECT_LT(r.all()[i].kf_fd, 0) << "special entries come first";

    // Exactly the descriptors open now: the personality's own are closed again.
    std::vector<int> open_now;
    for (int fd = 0; fd < 4096; ++fd)
        if (fcntl(fd, F_GETFD) != -1)
            open_now.push_back(fd);
    EXPECT_EQ(numbered, open_now);
}

TEST_F(LibutilTest, GetfileSpecialEntriesNameTheExecutableAndDirectories) {
    Records<struct kinfo_file> r = files_of(getpid());
    ASSERT_NE(r.data, nullptr);

    const struct kinfo_file *text = find_fd(r, KF_FD_TYPE_TEXT);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->kf_type, KF_TYPE_VNODE);
    EXPECT_EQ(text->kf_vnode_type, KF_VTYPE_VREG);
    EXPECT_EQ(text->kf_path, fs::read_symlink("/proc/self/exe").string());
    struct stat exe;
    ASSERT_EQ(stat("/proc/self/exe", &exe), 0);
    EXPECT_EQ(text->kf_un.kf_file.kf_file_fileid, exe.st_ino);
    EXPECT_EQ(text->kf_un.kf_file.kf_file_size, static_cast<uint64_t>(exe.st_size));
    EXPECT_EQ(text->kf_flags, KF_FLAG_READ);
    EXPECT_EQ(text->kf_status, KF_ATTR_VALID);

    const struct kinfo_file *cwd = find_fd(r, KF_FD_TYPE_CWD);
    ASSERT_NE(cwd, nullptr);
    EXPECT_EQ(cwd->kf_type, KF_TYPE_VNODE);
    EXPECT_EQ(cwd->kf_vnode_type, KF_VTYPE_VDIR);
    EXPECT_EQ(cwd->kf_path, dir_.string());
    EXPECT_EQ(cwd->kf_offset, -1);

    const struct kinfo_file *root = find_fd(r, KF_FD_TYPE_ROOT);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->kf_vnode_type, KF_VTYPE_VDIR);
    EXPECT_EQ(root->kf_path, fs::read_symlink("/proc/self/root").string());

    if (const struct kinfo_file *ctty = find_fd(r, KF_FD_TYPE_CTTY)) {
        EXPECT_EQ(ctty->kf_vnode_type, KF_VTYPE_VCHR);
        EXPECT_EQ(std::string_view(ctty->kf_path).substr(0, 5), "/dev/");
        EXPECT_EQ(ctty->kf_flags, KF_FLAG_READ | KF_FLAG_WRITE);
    }
}

TEST_F(LibutilTest, GetfileDescribesVnodes) {
    int file = create_file("data.txt", "hello", O_RDWR | O_APPEND);
    int dir = keep(open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int null = keep(open("/dev/null", O_WRONLY | O_CLOEXEC));
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    int fifo = keep(open((dir_ / "fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    int gone = create_file("gone.txt", "bye");
    ASSERT_EQ(unlink((dir_ / "gone.txt").c_str()), 0);
    Records<struct kinfo_file> r = files_of(getpid());
    ASSERT_NE(r.data, nullptr);

    const struct kinfo_file *kf = find_fd(r, file);
    ASSERT_NE(kf, nullptr);
    struct stat st = stat_of(file);
    EXPECT_EQ(kf->kf_type, KF_TYPE_VNODE);
    EXPECT_EQ(kf->kf_vnode_type, KF_VTYPE_VREG);
    EXPECT_EQ(kf->kf_path, (dir_ / "data.txt").string());
    EXPECT_EQ(kf->kf_flags, KF_FLAG_READ | KF_FLAG_WRITE | KF_FLAG_APPEND);
    EXPECT_EQ(kf->kf_offset, 5);
    EXPECT_EQ(kf->kf_ref_count, 1);
    EXPECT_EQ(kf->kf_status, KF_ATTR_VALID);
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_fileid, st.st_ino);
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_fsid, st.st_dev);
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_size, 5u);
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_mode, static_cast<uint16_t>(st.st_mode));
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_nlink, 1u);

    kf = find_fd(r, dir);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_vnode_type, KF_VTYPE_VDIR);
    EXPECT_EQ(kf->kf_path, dir_.string());
    EXPECT_EQ(kf->kf_flags, KF_FLAG_READ);

    kf = find_fd(r, null);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_VNODE);
    EXPECT_EQ(kf->kf_vnode_type, KF_VTYPE_VCHR);
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_rdev, stat_of(null).st_rdev);
    EXPECT_EQ(kf->kf_flags, KF_FLAG_WRITE);

    kf = find_fd(r, fifo);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_FIFO);
    EXPECT_EQ(kf->kf_vnode_type, KF_VTYPE_VFIFO);
    EXPECT_EQ(kf->kf_path, (dir_ / "fifo").string());
    EXPECT_EQ(kf->kf_flags, KF_FLAG_READ | KF_FLAG_WRITE | KF_FLAG_NONBLOCK);
    EXPECT_EQ(kf->kf_offset, 0);

    kf = find_fd(r, gone);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_vnode_type, KF_VTYPE_VREG);
    EXPECT_STREQ(kf->kf_path, "") << "an unlinked file has no name";
    EXPECT_EQ(kf->kf_un.kf_file.kf_file_nlink, 0u);
}

TEST_F(LibutilTest, GetfileDescribesPipesAndOtherKinds) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    keep(ends[0]);
    keep(ends[1]);
    int event = keep(eventfd(7, EFD_CLOEXEC));
    int poll = keep(epoll_create1(EPOLL_CLOEXEC));
    Records<struct kinfo_file> r = files_of(getpid());
    ASSERT_NE(r.data, nullptr);

    uint64_t pipe_inode = stat_of(ends[0]).st_ino;
    const struct kinfo_file *read_end = find_fd(r, ends[0]), *write_end = find_fd(r, ends[1]);
    ASSERT_NE(read_end, nullptr);
    ASSERT_NE(write_end, nullptr);
    EXPECT_EQ(read_end->kf_type, KF_TYPE_PIPE);
    EXPECT_EQ(write_end->kf_type, KF_TYPE_PIPE);
    EXPECT_EQ(read_end->kf_un.kf_pipe.kf_pipe_addr, pipe_inode);
    EXPECT_EQ(write_end->kf_un.kf_pipe.kf_pipe_addr, pipe_inode);
    EXPECT_EQ(read_end->kf_flags, KF_FLAG_READ | KF_FLAG_NONBLOCK);
    EXPECT_EQ(write_end->kf_flags, KF_FLAG_WRITE | KF_FLAG_NONBLOCK);
    EXPECT_EQ(read_end->kf_offset, 0);  // FreeBSD's offset of a pipe
    EXPECT_STREQ(read_end->kf_path, "");

    const struct kinfo_file *kf = find_fd(r, event);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_EVENTFD);
    EXPECT_EQ(kf->kf_un.kf_eventfd.kf_eventfd_value, 7u);

    kf = find_fd(r, poll);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_KQUEUE);
}

TEST_F(LibutilTest, GetfileDescribesSockets) {
    fixtures::BoundSocket tcp = fixtures::listen_tcp_loopback();
    ASSERT_GE(keep(tcp.fd), 0);
    fixtures::BoundSocket udp = fixtures::connect_udp_loopback(tcp.port);
    ASSERT_GE(keep(udp.fd), 0);
    fixtures::BoundSocket tcp6 = fixtures::listen_tcp6_loopback();  // absent where the host lacks IPv6
    if (tcp6.fd >= 0)
        keep(tcp6.fd);
    std::string path = (dir_ / "sock").string();
    int local = keep(fixtures::bind_unix_stream(path));
    int seqpacket = keep(fixtures::bind_unix_seqpacket((dir_ / "seq").string()));
    std::string abstract = "lumvik-libutil-" + std::to_string(getpid());
    int abstract_fd = keep(fixtures::bind_unix_abstract(abstract));
    int netlink = keep(fixtures::open_netlink());
    Records<struct kinfo_file> r = files_of(getpid());
    ASSERT_NE(r.data, nullptr);

    const struct kinfo_file *kf = find_fd(r, tcp.fd);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_SOCKET);
    EXPECT_EQ(kf->kf_sock_domain, 2);
    EXPECT_EQ(kf->kf_sock_type, 1);
    EXPECT_EQ(kf->kf_sock_protocol, 6);
    EXPECT_EQ(kf->kf_un.kf_sock.kf_sock_pcb, pcb_kernel_address(stat_of(tcp.fd).st_ino));
    EXPECT_EQ(kf->kf_un.kf_sock.kf_sock_inpcb, kf->kf_un.kf_sock.kf_sock_pcb);
    auto sin = as<struct sockaddr_in>(kf->kf_sa_local);
    EXPECT_EQ(sin.sin_len, 16);
    EXPECT_EQ(sin.sin_family, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sin.sin_port), 2), port_bytes(tcp.port));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sin.sin_addr), 4), std::string("\x7f\0\0\x01", 4));
    auto peer = as<struct sockaddr_in>(kf->kf_sa_peer);
    EXPECT_EQ(peer.sin_family, 2);
    EXPECT_EQ(peer.sin_port, 0);
    EXPECT_EQ(peer.sin_addr.s_addr, 0u);

    kf = find_fd(r, udp.fd);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_sock_domain, 2);
    EXPECT_EQ(kf->kf_sock_type, 2);
    EXPECT_EQ(kf->kf_sock_protocol, 17);
    sin = as<struct sockaddr_in>(kf->kf_sa_local);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sin.sin_port), 2), port_bytes(udp.port));
    peer = as<struct sockaddr_in>(kf->kf_sa_peer);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&peer.sin_port), 2), port_bytes(tcp.port));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&peer.sin_addr), 4), std::string("\x7f\0\0\x01", 4));

    if (tcp6.fd >= 0) {
        kf = find_fd(r, tcp6.fd);
        ASSERT_NE(kf, nullptr);
        EXPECT_EQ(kf->kf_sock_domain, 28);
        EXPECT_EQ(kf->kf_sock_type, 1);
        auto sin6 = as<struct sockaddr_in6>(kf->kf_sa_local);
        EXPECT_EQ(sin6.sin6_len, 28);
        EXPECT_EQ(sin6.sin6_family, 28);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sin6.sin6_port), 2), port_bytes(tcp6.port));
        const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        EXPECT_EQ(std::memcmp(sin6.sin6_addr.s6_addr, loopback, 16), 0);
    }

    kf = find_fd(r, local);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_SOCKET);
    EXPECT_EQ(kf->kf_sock_domain, 1);
    EXPECT_EQ(kf->kf_sock_type, 1);
    EXPECT_EQ(kf->kf_sock_protocol, 0);
    auto sun = as<struct sockaddr_un>(kf->kf_sa_local);
    EXPECT_EQ(sun.sun_family, 1);
    EXPECT_EQ(sun.sun_len, 2 + path.size());
    EXPECT_EQ(std::string(sun.sun_path, sun.sun_len - 2), path);
    auto sun_peer = as<struct sockaddr_un>(kf->kf_sa_peer);
    EXPECT_EQ(sun_peer.sun_family, 1);
    EXPECT_EQ(sun_peer.sun_len, 16);  // unconnected: FreeBSD's unnamed address
    EXPECT_EQ(sun_peer.sun_path[0], '\0');
    EXPECT_EQ(kf->kf_un.kf_sock.kf_sock_inpcb, 0u);

    kf = find_fd(r, seqpacket);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_sock_domain, 1);
    EXPECT_EQ(kf->kf_sock_type, 5);

    kf = find_fd(r, abstract_fd);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_sock_type, 2);
    sun = as<struct sockaddr_un>(kf->kf_sa_local);
    EXPECT_EQ(sun.sun_len, 2 + 1 + abstract.size());
    EXPECT_EQ(std::string(sun.sun_path, sun.sun_len - 2), std::string(1, '\0') + abstract);

    kf = find_fd(r, netlink);
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->kf_type, KF_TYPE_SOCKET);
    EXPECT_EQ(kf->kf_sock_domain, 0) << "no FreeBSD family for what the host's tables do not show";
}

TEST_F(LibutilTest, GetfileOfAProcessThatIsNotOne) {
    for (pid_t pid : {unused_pid(), pid_t{0}, pid_t{-1}}) {
        Records<struct kinfo_file> r = files_of(pid);
        EXPECT_EQ(r.data, nullptr) << pid;
        EXPECT_EQ(r.err, ESRCH) << pid;
    }
    // A thread's id names no process.
    std::latch started(1), done(1);
    pid_t tid = 0;
    std::thread thread([&] {
        tid = gettid();
        started.count_down();
        done.wait();
    });
    started.wait();
    Records<struct kinfo_file> files = files_of(tid);
    Records<struct kinfo_vmentry> maps = maps_of(tid);
    done.count_down();
    thread.join();
    EXPECT_EQ(files.data, nullptr);
    EXPECT_EQ(files.err, ESRCH);
    EXPECT_EQ(maps.data, nullptr);
    EXPECT_EQ(maps.err, ESRCH);
}

TEST_F(LibutilTest, AZombieIsRefusedAsAnExitingProcess) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    siginfo_t info;
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);  // a zombie now
    Records<struct kinfo_file> files = files_of(child);
    Records<struct kinfo_vmentry> maps = maps_of(child);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(files.data, nullptr);
    EXPECT_EQ(files.err, ESRCH);
    EXPECT_EQ(maps.data, nullptr);
    EXPECT_EQ(maps.err, ESRCH);
}

// ---- kinfo_getvmmap, live ----

TEST_F(LibutilTest, GetvmmapDescribesFileAndAnonymousMappings) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    int file = create_file("mapped.bin", std::string(3 * page, 'm'));
    struct stat st = stat_of(file);
    auto *shown = static_cast<char *>(keep_mapping(mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE, file, page), 2 * page));
    auto *written = static_cast<char *>(
        keep_mapping(mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE, file, 0), page));
    written[0] = 'w';  // a private copy now
    auto *reserved = static_cast<char *>(
        keep_mapping(mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0), 3 * page));
    // The middle page differs from both neighbours, so the kernel keeps it a mapping of its own.
    ASSERT_EQ(mprotect(reserved + page, page, PROT_READ | PROT_WRITE), 0);
    reserved[page] = 1;
    int stack_variable = 0;

    Records<struct kinfo_vmentry> r = maps_of(getpid());
    ASSERT_NE(r.data, nullptr) << std::strerror(r.err);

    uint64_t previous_end = 0;
    for (const struct kinfo_vmentry &kve : r.all()) {
        EXPECT_EQ(kve.kve_structsize, 1160);
        EXPECT_LT(kve.kve_start, kve.kve_end);
        EXPECT_LE(previous_end, kve.kve_start) << "ascending and disjoint";
        previous_end = kve.kve_end;
        EXPECT_EQ(kve.kve_path[sizeof(kve.kve_path) - 1], '\0');
        EXPECT_EQ(kve.kve_ref_count, 0);
        EXPECT_EQ(kve.kve_shadow_count, 0);
    }

    const struct kinfo_vmentry *kve = find_mapping(r, shown);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_start, reinterpret_cast<uint64_t>(shown));
    EXPECT_EQ(kve->kve_end, reinterpret_cast<uint64_t>(shown) + 2 * page);
    EXPECT_EQ(kve->kve_type, KVME_TYPE_VNODE);
    EXPECT_EQ(kve->kve_path, (dir_ / "mapped.bin").string());
    EXPECT_EQ(kve->kve_protection, KVME_PROT_READ);
    EXPECT_EQ(kve->kve_offset, page);
    EXPECT_EQ(kve->kve_vn_fileid, st.st_ino);
    EXPECT_EQ(kve->kve_vn_fsid, st.st_dev);
    EXPECT_EQ(kve->kve_flags & KVME_FLAG_COW, 0);

    kve = find_mapping(r, written);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_type, KVME_TYPE_VNODE);
    EXPECT_EQ(kve->kve_protection, KVME_PROT_READ | KVME_PROT_WRITE);
    EXPECT_NE(kve->kve_flags & KVME_FLAG_COW, 0) << "a private writable file mapping";
    EXPECT_EQ(kve->kve_private_resident, 1);

    kve = find_mapping(r, reserved);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_type, KVME_TYPE_GUARD);
    EXPECT_EQ(kve->kve_protection, 0);
    EXPECT_STREQ(kve->kve_path, "");

    kve = find_mapping(r, reserved + page);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_start, reinterpret_cast<uint64_t>(reserved + page));
    EXPECT_EQ(kve->kve_end, reinterpret_cast<uint64_t>(reserved + 2 * page));
    EXPECT_EQ(kve->kve_type, KVME_TYPE_DEFAULT);
    EXPECT_EQ(kve->kve_protection, KVME_PROT_READ | KVME_PROT_WRITE);
    EXPECT_EQ(kve->kve_resident, 1);
    EXPECT_EQ(kve->kve_private_resident, 1);
    EXPECT_STREQ(kve->kve_path, "");

    kve = find_mapping(r, &stack_variable);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_type, KVME_TYPE_DEFAULT);
    EXPECT_NE(kve->kve_flags & KVME_FLAG_GROWS_DOWN, 0);
    EXPECT_STREQ(kve->kve_path, "");

    if (auto vdso = reinterpret_cast<const void *>(getauxval(AT_SYSINFO_EHDR))) {
        kve = find_mapping(r, vdso);
        ASSERT_NE(kve, nullptr);
        EXPECT_EQ(kve->kve_type, KVME_TYPE_PHYS);
        EXPECT_STREQ(kve->kve_path, "");
    }
}

TEST_F(LibutilTest, GetvmmapLeavesDeletedFilesUnnamed) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    int file = create_file("doomed.bin", std::string(page, 'd'));
    void *mapped = keep_mapping(mmap(nullptr, page, PROT_READ, MAP_SHARED, file, 0), page);
    ASSERT_EQ(unlink((dir_ / "doomed.bin").c_str()), 0);
    Records<struct kinfo_vmentry> r = maps_of(getpid());
    ASSERT_NE(r.data, nullptr);
    const struct kinfo_vmentry *kve = find_mapping(r, mapped);
    ASSERT_NE(kve, nullptr);
    EXPECT_EQ(kve->kve_type, KVME_TYPE_VNODE);
    EXPECT_STREQ(kve->kve_path, "");
    EXPECT_EQ(kve->kve_flags & KVME_FLAG_COW, 0) << "shared";
}

TEST_F(LibutilTest, GetvmmapOfAProcessThatIsNotOne) {
    for (pid_t pid : {unused_pid(), pid_t{0}, pid_t{-1}}) {
        Records<struct kinfo_vmentry> r = maps_of(pid);
        EXPECT_EQ(r.data, nullptr) << pid;
        EXPECT_EQ(r.err, ESRCH) << pid;
    }
}

TEST_F(LibutilTest, AKernelThreadHasNoMappings) {
    host::ProcessSnapshot kthreadd;
    if (host::read_process(2, kthreadd) != 0 || !(kthreadd.stat.flags & host::kLinuxKernelThread))
        GTEST_SKIP() << "pid 2 is no kernel thread here";
    Records<struct kinfo_vmentry> maps = maps_of(2);
    ASSERT_NE(maps.data, nullptr) << std::strerror(maps.err);
    EXPECT_EQ(maps.count, 0);
    Records<struct kinfo_file> files = files_of(2);
    if (geteuid() != 0) {  // its descriptors are root's to see
        EXPECT_EQ(files.err, EACCES);
        return;
    }
    ASSERT_NE(files.data, nullptr) << std::strerror(files.err);
    EXPECT_EQ(find_fd(files, KF_FD_TYPE_TEXT), nullptr) << "a kernel thread runs no executable";
}

// A child that no one but a privileged tracer may inspect; the host decides who that is.
TEST_F(LibutilTest, TheHostsRefusalIsPassedOn) {
    int ready[2], release[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(release, O_CLOEXEC), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char byte = 0;
        close(ready[0]);
        close(release[1]);  // so that the parent's close reads as the end
        prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        (void)!write(ready[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);

    std::string proc = "/proc/" + std::to_string(child);
    char link[64];
    int smaps = open((proc + "/smaps").c_str(), O_RDONLY | O_CLOEXEC);
    int smaps_err = smaps < 0 ? errno : 0;
    if (smaps >= 0)
        close(smaps);
    int fd_err = readlink((proc + "/fd/0").c_str(), link, sizeof(link)) < 0 ? errno : 0;
    Records<struct kinfo_vmentry> maps = maps_of(child);
    Records<struct kinfo_file> files = files_of(child);
    close(release[1]);
    waitpid(child, nullptr, 0);

    if (smaps_err != 0) {
        EXPECT_EQ(maps.data, nullptr);
        EXPECT_EQ(maps.err, smaps_err);
    } else {
        EXPECT_NE(maps.data, nullptr) << std::strerror(maps.err);
    }
    if (fd_err != 0) {
        EXPECT_EQ(files.data, nullptr);
        EXPECT_EQ(files.err, fd_err);
    } else {
        EXPECT_NE(files.data, nullptr) << std::strerror(files.err);
    }
}

// ---- control ----

TEST_F(LibutilTest, ControlFailsEitherCallWithTheGivenErrno) {
    lumvik_control_fail("kinfo_getfile", EPERM);
    Records<struct kinfo_file> files = files_of(getpid());
    EXPECT_EQ(files.data, nullptr);
    EXPECT_EQ(files.err, EPERM);

    lumvik_control_fail(("kinfo_getvmmap." + std::to_string(getpid())).c_str(), 0);
    errno = EINVAL;
    int count = -1;
    EXPECT_EQ(kinfo_getvmmap(getpid(), &count), nullptr);
    EXPECT_EQ(errno, 0) << "an errno of 0 is passed on as well";
    Records<struct kinfo_vmentry> other = maps_of(unused_pid());
    EXPECT_EQ(other.err, ESRCH) << "the override is narrowed to one pid";
}

TEST_F(LibutilTest, ControlAnswersGivenRecords) {
    struct kinfo_file given[2] = {};
    given[0].kf_structsize = sizeof(given[0]);
    given[0].kf_fd = 3;
    std::strcpy(given[0].kf_path, "/given");
    given[1].kf_fd = 4;
    lumvik_control_answer("kinfo_getfile", given, sizeof(given));
    Records<struct kinfo_file> files = files_of(getpid());
    ASSERT_NE(files.data, nullptr);
    ASSERT_EQ(files.count, 2);
    EXPECT_EQ(std::memcmp(files.data.get(), given, sizeof(given)), 0);

    std::string ragged(sizeof(struct kinfo_vmentry) + 10, 'v');  // a partial record is dropped
    lumvik_control_answer("kinfo_getvmmap", ragged.data(), ragged.size());
    Records<struct kinfo_vmentry> maps = maps_of(getpid());
    ASSERT_NE(maps.data, nullptr);
    EXPECT_EQ(maps.count, 1);

    lumvik_control_answer("kinfo_getvmmap", nullptr, 0);
    maps = maps_of(getpid());
    EXPECT_NE(maps.data, nullptr) << "an empty answer is a valid empty array";
    EXPECT_EQ(maps.count, 0);
}

// ---- the host parsers ----

TEST(FdsParser, ReadsFdinfo) {
    host::FdInfo info;
    host::parse_fdinfo("pos:\t12\nflags:\t02104002\nmnt_id:\t24\nino:\t90\ntty-index:\t3\n", info);
    EXPECT_EQ(info.pos, 12);
    EXPECT_EQ(info.flags, 02104002u);
    EXPECT_EQ(info.tty_index, 3);
    EXPECT_FALSE(info.eventfd_count);

    host::FdInfo event;
    host::parse_fdinfo("pos:\t0\nflags:\t02000002\neventfd-count:               1f\neventfd-id: 3\n", event);
    ASSERT_TRUE(event.eventfd_count);
    EXPECT_EQ(*event.eventfd_count, 0x1fu);

    host::FdInfo pidfd;
    host::parse_fdinfo("pos:\t0\nflags:\t02000002\nPid:\t4242\nNSpid:\t4242\n", pidfd);
    EXPECT_EQ(pidfd.pidfd_pid, 4242);
}

TEST(FdsParser, NamesTerminalsAndLinkNumbers) {
    auto tty_nr = [](unsigned major, unsigned minor) {
        return (major << 8) | (minor & 0xff) | ((minor & ~0xffu) << 12);
    };
    EXPECT_EQ(host::terminal_path(tty_nr(136, 3)), "/dev/pts/3");
    EXPECT_EQ(host::terminal_path(tty_nr(136, 300)), "/dev/pts/300");
    EXPECT_EQ(host::terminal_path(tty_nr(137, 1)), "/dev/pts/257");
    EXPECT_EQ(host::terminal_path(tty_nr(4, 1)), "/dev/tty1");
    EXPECT_EQ(host::terminal_path(tty_nr(4, 64)), "/dev/ttyS0");
    EXPECT_EQ(host::terminal_path(tty_nr(5, 0)), "/dev/tty");
    EXPECT_EQ(host::terminal_path(tty_nr(99, 0)), "");

    EXPECT_EQ(host::link_inode("socket:[1234]"), 1234u);
    EXPECT_EQ(host::link_inode("pipe:[77]"), 77u);
    EXPECT_EQ(host::link_inode("anon_inode:[eventfd]"), 0u);
    EXPECT_EQ(host::link_inode("/tmp/file"), 0u);
}

TEST(SocketsParser, ReadsInetLines) {
    host::SocketFacts tcp6;
    ASSERT_TRUE(host::parse_inet_line(
        "   1: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A "
        "00000000:00000002 00:00000000 00000000  1000        0 424242 1 0000000000000000 100 0 0 10 0",
        tcp6));
    EXPECT_EQ(tcp6.family, host::SocketFamily::inet6);
    const uint8_t loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(tcp6.local_addr, loopback6, 16), 0);  // the words as this little-endian host holds them
    EXPECT_EQ(tcp6.local_port, 8080);
    EXPECT_EQ(tcp6.peer_port, 0);
    EXPECT_EQ(tcp6.state, 0x0A);
    EXPECT_EQ(tcp6.receive_queue, 2u);
    EXPECT_EQ(tcp6.inode, 424242u);
    EXPECT_EQ(tcp6.uid, 1000u);

    host::SocketFacts tcp;
    ASSERT_TRUE(host::parse_inet_line(
        "   0: 0100007F:1F90 0200007F:C350 01 0000000A:00000000 00:00000000 00000000     0        0 99 1 "
        "0000000000000000 20 4 30 10 -1",
        tcp));
    EXPECT_EQ(tcp.family, host::SocketFamily::inet);
    const uint8_t local[4] = {127, 0, 0, 1}, peer[4] = {127, 0, 0, 2};
    EXPECT_EQ(std::memcmp(tcp.local_addr, local, 4), 0);
    EXPECT_EQ(std::memcmp(tcp.peer_addr, peer, 4), 0);
    EXPECT_EQ(tcp.peer_port, 50000);
    EXPECT_EQ(tcp.send_queue, 10u);
    EXPECT_EQ(tcp.inode, 99u);

    host::SocketFacts time_wait;  // no socket: inode 0, kept
    ASSERT_TRUE(host::parse_inet_line(
        "   2: 0100007F:1F90 0100007F:C350 06 00000000:00000000 03:00001770 00000000     0        0 0 3 "
        "0000000000000000",
        time_wait));
    EXPECT_EQ(time_wait.state, 6);
    EXPECT_EQ(time_wait.inode, 0u);

    host::SocketFacts bad;
    EXPECT_FALSE(host::parse_inet_line("  sl  local_address rem_address   st tx_queue", bad));
}

TEST(SocketsParser, ReadsUnixLines) {
    host::SocketFacts bound;
    ASSERT_TRUE(host::parse_unix_line("0000000000000000: 00000002 00000000 00010000 0001 01 31337 /run/my sock", bound));
    EXPECT_EQ(bound.family, host::SocketFamily::local);
    EXPECT_EQ(bound.type, host::SocketType::stream);
    EXPECT_EQ(bound.inode, 31337u);
    EXPECT_EQ(bound.path, "/run/my sock");

    host::SocketFacts abstract;
    ASSERT_TRUE(host::parse_unix_line("0000000000000000: 00000002 00000000 00000000 0002 01    42 @name@x", abstract));
    EXPECT_EQ(abstract.type, host::SocketType::dgram);
    EXPECT_EQ(abstract.path, std::string("\0name@x", 7));

    host::SocketFacts unnamed;
    ASSERT_TRUE(host::parse_unix_line("0000000000000000: 00000003 00000000 00000000 0005 03    70", unnamed));
    EXPECT_EQ(unnamed.type, host::SocketType::seqpacket);
    EXPECT_EQ(unnamed.path, "");

    host::SocketTable table;
    table.sockets = {abstract, bound};
    EXPECT_EQ(table.find(31337), &table.sockets[1]);
    EXPECT_EQ(table.find(43), nullptr);
}

TEST(MapsParser, ReadsAnSmapsBlock) {
    constexpr std::string_view text =
        "7f0000000000-7f0000002000 r-xp 00001000 fe:01 1234                       /usr/lib/libz.so.1\n"
        "Size:                  8 kB\n"
        "Rss:                   8 kB\n"
        "Private_Clean:         4 kB\n"
        "Private_Dirty:         0 kB\n"
        "VmFlags: rd ex mr mw me \n"
        "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0                          [stack]\n"
        "Rss:                  12 kB\n"
        "Private_Clean:         0 kB\n"
        "Private_Dirty:        12 kB\n"
        "VmFlags: rd wr mr mw me gd ac \n"
        "7f1000000000-7f1000001000 rw-s 00000000 00:05 99                         /memfd:x y (deleted)\n"
        "Rss:                   0 kB\n"
        "7f2000000000-7f2000001000 ---p 00000000 00:00 0 \n";
    std::vector<host::MapEntry> entries;
    host::parse_smaps(text, entries);
    ASSERT_EQ(entries.size(), 4u);

    const host::MapEntry &lib = entries[0];
    EXPECT_EQ(lib.start, 0x7f0000000000u);
    EXPECT_EQ(lib.end, 0x7f0000002000u);
    EXPECT_TRUE(lib.read && !lib.write && lib.exec && !lib.shared);
    EXPECT_EQ(lib.offset, 0x1000u);
    EXPECT_EQ(lib.dev, makedev(0xfe, 1));
    EXPECT_EQ(lib.inode, 1234u);
    EXPECT_EQ(lib.name, "/usr/lib/libz.so.1");
    EXPECT_EQ(lib.rss_kb, 8u);
    EXPECT_EQ(lib.private_clean_kb, 4u);
    EXPECT_EQ(lib.vm_flags, "rd ex mr mw me");

    EXPECT_EQ(entries[1].name, "[stack]");
    EXPECT_EQ(entries[1].private_dirty_kb, 12u);
    EXPECT_EQ(entries[1].vm_flags, "rd wr mr mw me gd ac");

    EXPECT_TRUE(entries[2].shared);
    EXPECT_TRUE(entries[2].deleted);
    EXPECT_EQ(entries[2].name, "/memfd:x y");

    EXPECT_FALSE(entries[3].read || entries[3].write || entries[3].exec);
    EXPECT_EQ(entries[3].name, "");
    EXPECT_EQ(entries[3].inode, 0u);
}

}  // namespace
