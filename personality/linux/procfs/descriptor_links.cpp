// The walk over every /proc/PID/fd directory: one readlink(2) per descriptor.
#include "linux/procfs/descriptor_links.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

#include "linux/procfs/process_dir.h"
#include "linux/procfs/procfs.h"
#include "linux/text_file.h"

namespace host {
namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

// One process's descriptor directory, held open while its entries are read.
class FdDir {
public:
    // False when the process is gone or refuses.
    bool open(int pid) {
        if (proc_.open(pid) != 0)
            return false;
        proc_.follow_running_thread();  // Linux hides them behind an exited main thread
        struct stat st;
        if (fstat(proc_.fd(), &st) != 0)
            return false;
        uid_ = st.st_uid;
        OwnedFd listing;
        if (proc_.open_dir("fd", listing) != 0)
            return false;
        dir_.reset(fdopendir(listing.get()));
        if (!dir_)
            return false;
        listing.release();  // the listing's now
        pid_ = pid;
        return true;
    }

    uint32_t uid() const { return uid_; }
    int fd() const { return dirfd(dir_.get()); }

    // The descriptor numbers, ascending, without the walk's own directories.
    void numbers(std::vector<int> &out) {
        const int own[] = {proc_.fd(), fd()};
        descriptor_numbers(dir_.get(), pid_, own, out);
    }

private:
    ProcessDir proc_;
    std::unique_ptr<DIR, DirCloser> dir_;
    uint32_t uid_ = 0;
    int pid_ = 0;
};

}  // namespace

void for_each_descriptor(const std::function<bool(const DescriptorLink &)> &visit) {
    std::vector<int> pids, numbers;
    list_pids(pids);
    char name[16], link[PATH_MAX + 32];
    for (int pid : pids) {
        FdDir dir;
        if (!dir.open(pid))
            continue;
        dir.numbers(numbers);
        for (int number : numbers) {
            std::snprintf(name, sizeof(name), "%d", number);
            ssize_t n = readlinkat(dir.fd(), name, link, sizeof(link));
            if (n < 0)
                continue;  // closed meanwhile
            if (!visit({pid, dir.uid(), number, std::string_view(link, static_cast<size_t>(n))}))
                return;
        }
    }
}

size_t count_descriptors() {
    std::vector<int> pids, numbers;
    list_pids(pids);
    size_t count = 0;
    for (int pid : pids) {
        FdDir dir;
        if (!dir.open(pid))
            continue;
        dir.numbers(numbers);
        count += numbers.size();
    }
    return count;
}

}  // namespace host
