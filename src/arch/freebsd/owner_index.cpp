#include "arch/freebsd/owner_index.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool before(const OwnerIndex::Entry &a, const OwnerIndex::Entry &b) {
    return a.object != b.object ? a.object < b.object : a.position < b.position;
}

}  // namespace

bool OwnerIndex::build(const struct xfile *files, int count) {
    files_ = files;
    size_ = 0;
    entries_.reset(static_cast<Entry *>(std::malloc(sizeof(Entry) * static_cast<size_t>(std::max(count, 1)))));
    if (!entries_)
        return false;
    for (int i = 0; i < count; ++i)
        if (files[i].xf_data != 0)
            entries_.get()[size_++] = {files[i].xf_data, i};
    // By position within an object: the first of a socket's descriptors is the earliest record.
    std::sort(entries_.get(), entries_.get() + size_, before);
    return true;
}

const struct xfile *OwnerIndex::owner(kvaddr_t so) const {
    if (so == 0)
        return nullptr;
    const Entry *begin = entries_.get(), *end = begin + size_;
    const Entry *it = std::lower_bound(begin, end, Entry{so, 0}, before);
    return it != end && it->object == so ? &files_[it->position] : nullptr;
}
