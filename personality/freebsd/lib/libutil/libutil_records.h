// What FreeBSD's kinfo_getfile(3) and kinfo_getvmmap(3) share: arrays of unpacked records that
// the caller frees, and the test overrides of both calls.
#pragma once
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "control/control.h"
#include "freebsd/sys/kern/kern_proc.h"

namespace libutil {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <class Record>
using RecordArray = std::unique_ptr<Record[], FreeDeleter>;

// Zeroed records for the caller to free(); never null for a count of 0, as FreeBSD's.
template <class Record>
RecordArray<Record> allocate_records(size_t count) {
    return RecordArray<Record>(static_cast<Record *>(std::calloc(std::max<size_t>(count, 1), sizeof(Record))));
}

template <class Record>
Record *hand_over(RecordArray<Record> records, size_t count, int *cntp) {
    if (cntp != nullptr)
        *cntp = static_cast<int>(count);
    return records.release();
}

// What a test set for this call: fail, or answer given bytes as records; nullopt to ask the host.
template <class Record>
std::optional<Record *> overridden(std::string_view call, pid_t pid, int *cntp) {
    control::Outcome o = control::consult(call, {pid}, true);
    if (o.action == control::Action::fail) {
        errno = o.err;
        return nullptr;
    }
    if (o.action != control::Action::answer)
        return std::nullopt;
    size_t count = o.bytes.size() / sizeof(Record);
    RecordArray<Record> records = allocate_records<Record>(count);
    if (!records) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(static_cast<void *>(records.get()), o.bytes.data(), count * sizeof(Record));
    return hand_over(std::move(records), count, cntp);
}

// The host's read of the process a call asks about, refused as FreeBSD's pget() refuses an
// exiting process (PGET_NOTWEXIT): 0, or the errno, which is errno too.
template <typename Facts>
int read_live_process(int (*read)(int, Facts &), pid_t pid, Facts &out) {
    int err = read(pid, out);
    if (err == 0)
        err = pget_errno(out.state, kPgetNotWexit);
    if (err != 0)
        errno = err;
    return err;
}

// A path into its zeroed field with its NUL; one too long for the field is left empty, as
// FreeBSD cannot name a path longer than MAXPATHLEN either, rather than cut to another name.
template <size_t N>
void copy_path(char (&dst)[N], std::string_view src) {
    if (!src.empty() && src.size() < N)  // an empty view may have no address at all
        std::memcpy(dst, src.data(), src.size());
}

}  // namespace libutil
