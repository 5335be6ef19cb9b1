#include "arch/freebsd/owner_index.h"

#include <algorithm>
#include <new>

bool OwnerIndex::build(const struct xfile *files, int count) noexcept {
    files_ = files;
    try {
        by_object_.clear();
        by_object_.reserve(static_cast<size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i)
            if (files[i].xf_data != 0)
                by_object_.emplace_back(files[i].xf_data, i);
    } catch (const std::bad_alloc &) {
        return false;
    }
    // Pairs sort by address, then by position: the first of equal addresses is the earliest.
    std::sort(by_object_.begin(), by_object_.end());
    return true;
}

const struct xfile *OwnerIndex::owner(kvaddr_t so) const noexcept {
    if (so == 0)
        return nullptr;
    auto it = std::lower_bound(by_object_.begin(), by_object_.end(), std::make_pair(so, 0));
    return it != by_object_.end() && it->first == so ? &files_[it->second] : nullptr;
}
