// A process's /proc/PID/fd links, their stat and /proc/PID/fdinfo; exe, cwd and root.
#include "linux/procfs/fds.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>

#include "linux/procfs/process_dir.h"
#include "linux/procfs/procfs.h"
#include "linux/text_file.h"

namespace host {

static_assert(linux_mode::kind_mask == S_IFMT && linux_mode::socket == S_IFSOCK && linux_mode::symlink == S_IFLNK &&
              linux_mode::regular == S_IFREG && linux_mode::block_device == S_IFBLK &&
              linux_mode::directory == S_IFDIR && linux_mode::char_device == S_IFCHR && linux_mode::fifo == S_IFIFO);
static_assert(linux_open::access_mask == O_ACCMODE && linux_open::read_only == O_RDONLY &&
              linux_open::write_only == O_WRONLY && linux_open::read_write == O_RDWR &&
              linux_open::append == O_APPEND && linux_open::nonblock == O_NONBLOCK && linux_open::dsync == O_DSYNC &&
              linux_open::async == O_ASYNC && linux_open::direct == O_DIRECT && linux_open::nofollow == O_NOFOLLOW &&
              linux_open::sync == O_SYNC && linux_open::path == O_PATH);

namespace {

constexpr unsigned kPtyMasterMajor = 5, kPtyMasterMinor = 2;  // /dev/ptmx
constexpr unsigned kPtySlaveMajor = 136;                       // /dev/pts/N

// A refusal of the host, as opposed to a link with nothing behind it (a closed descriptor, a
// kernel thread's or a zombie's missing executable).
bool refused(int err) { return err == EACCES || err == EPERM; }

void fill_stat(const struct stat &st, FileFacts &out) {
    out.has_stat = true;
    out.mode = st.st_mode;
    out.dev = st.st_dev;
    out.ino = st.st_ino;
    out.rdev = st.st_rdev;
    out.nlink = st.st_nlink;
    out.size = st.st_size;
    out.pty_master = S_ISCHR(st.st_mode) && major(st.st_rdev) == kPtyMasterMajor && minor(st.st_rdev) == kPtyMasterMinor;
}

// Linux names an unlinked file by its old path plus " (deleted)"; only the missing links tell
// it from a file really named so.
void settle_deleted(FileFacts &f) {
    constexpr std::string_view suffix = " (deleted)";
    if (f.has_stat && f.nlink == 0 && std::string_view(f.link).ends_with(suffix)) {
        f.link.resize(f.link.size() - suffix.size());
        f.deleted = true;
    }
}

// The file a /proc link (fd/N, exe, cwd, root) leads to, left empty when the link leads
// nowhere; 0 or the errno of the host's refusal.
int read_file(int dirfd, const char *name, std::optional<FileFacts> &out) {
    out.reset();
    char link[PATH_MAX + 32];  // a path plus " (deleted)"
    ssize_t n = readlinkat(dirfd, name, link, sizeof(link));
    if (n < 0)
        return refused(errno) ? errno : 0;
    FileFacts &f = out.emplace();
    f.link.assign(link, static_cast<size_t>(n));
    struct stat st;
    if (fstatat(dirfd, name, &st, 0) == 0)  // follows the link to the open file itself
        fill_stat(st, f);
    settle_deleted(f);
    return 0;
}

// The controlling terminal, when stat's tty_nr names one that this host's /dev shows as that device.
std::optional<FileFacts> read_terminal(int tty_nr) {
    if (tty_nr == 0)
        return std::nullopt;
    std::string path = terminal_path(static_cast<uint32_t>(tty_nr));
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    TerminalDevice device = decode_tty_nr(static_cast<uint32_t>(tty_nr));
    if (st.st_rdev != makedev(device.major, device.minor))
        return std::nullopt;
    FileFacts f;
    f.link = std::move(path);
    fill_stat(st, f);
    return f;
}

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

// Every numbered descriptor; one that closes meanwhile is left out, and so are the directories
// this reading holds open itself when a process reads its own.
int read_descriptors(int pid, const ProcessDir &proc, std::vector<Descriptor> &out) {
    OwnedFd listing;
    if (int err = proc.open_dir("fd", listing))
        return err;
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(listing.get()));
    if (!dir)
        return errno;
    int fd_dir = listing.release();  // the listing's now
    OwnedFd info_dir;
    proc.open_dir("fdinfo", info_dir);  // without it, the descriptors have no fdinfo
    const int own[] = {proc.fd(), fd_dir, info_dir.get()};
    std::vector<int> numbers;
    descriptor_numbers(dir.get(), pid, own, numbers);

    TextFile info;
    char name[16];
    for (int number : numbers) {
        std::snprintf(name, sizeof(name), "%d", number);
        std::optional<FileFacts> file;
        if (int err = read_file(fd_dir, name, file))
            return err;
        if (!file)
            continue;
        Descriptor &d = out.emplace_back();
        d.fd = number;
        d.file = std::move(*file);
        if (info_dir.get() >= 0 && info.read_at(info_dir.get(), name) == 0) {
            parse_fdinfo(info.text(), d.info);
            d.has_info = true;
        }
        if (d.file.pty_master && d.info.tty_index >= 0)
            d.pty_slave_rdev = makedev(kPtySlaveMajor, static_cast<unsigned>(d.info.tty_index));
    }
    return 0;
}

// Terminal device numbers and their names under /dev (Linux's devices.txt).
struct TerminalName {
    unsigned major_first, major_last;  // a range of majors counts on by 256 minors
    unsigned minor_first, minor_last;
    const char *name;
    bool numbered;  // the name ends in the terminal's number
};
constexpr TerminalName kTerminalNames[] = {
    {136, 143, 0, 0xfffff, "/dev/pts/", true},  // pty slaves
    {4, 4, 0, 63, "/dev/tty", true},            // virtual consoles
    {4, 4, 64, 255, "/dev/ttyS", true},         // serial ports, numbered from minor 64
    {5, 5, 0, 0, "/dev/tty", false},
    {5, 5, 1, 1, "/dev/console", false},
    {166, 166, 0, 255, "/dev/ttyACM", true},
    {188, 188, 0, 255, "/dev/ttyUSB", true},
};

}  // namespace

void parse_fdinfo(std::string_view text, FdInfo &out) {
    for_each_key_value(text, [&](std::string_view key, std::string_view rest) {
        std::string_view value = next_field(rest);
        if (key == "pos")
            out.pos = to_ll(value);
        else if (key == "flags")
            out.flags = static_cast<uint32_t>(to_ull(value, 8));
        else if (key == "eventfd-count")
            out.eventfd_count = to_ull(value, 16);
        else if (key == "Pid")
            out.pidfd_pid = static_cast<int>(to_ll(value));
        else if (key == "tty-index")
            out.tty_index = static_cast<int>(to_ll(value));
    });
}

std::string terminal_path(uint32_t tty_nr) {
    auto [major, minor] = decode_tty_nr(tty_nr);
    for (const TerminalName &t : kTerminalNames) {
        if (major < t.major_first || major > t.major_last || minor < t.minor_first || minor > t.minor_last)
            continue;
        std::string path = t.name;
        if (t.numbered)
            path += std::to_string((major - t.major_first) * 256 + (minor - t.minor_first));
        return path;
    }
    return {};
}

uint64_t link_inode(std::string_view link) {
    size_t open = link.find('['), close = link.rfind(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return 0;
    return to_ull(link.substr(open + 1, close - open - 1));
}

int read_process_files(int pid, ProcessFiles &out) {
    ProcessDir proc;
    if (int err = proc.open(pid))
        return err;
    out = {};
    TextFile file;
    ProcStat stat;
    if (int err = proc.read("stat", file))
        return err;
    if (!parse_stat(file.text(), stat))
        return ESRCH;  // an empty stat: the process is being reaped
    if (stat.exited() && !proc.follow_running_thread()) {
        out.state = ProcessState::exited;
        return 0;
    }
    if (int err = read_descriptors(pid, proc, out.descriptors))
        return err;
    const struct {
        const char *name;
        std::optional<FileFacts> &file;
    } links[] = {{"exe", out.text}, {"cwd", out.cwd}, {"root", out.root}};
    for (const auto &link : links)
        if (int err = read_file(proc.fd(), link.name, link.file))
            return err;
    out.ctty = read_terminal(stat.tty_nr);
    return 0;
}

}  // namespace host
