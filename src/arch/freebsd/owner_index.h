// The owner of each socket: the first record of the file table snapshot whose object is that
// socket, found through an index built once per call instead of a scan per socket.
#pragma once
#include <sys/types.h>
#include <sys/file.h>

#include "arch/all/owned.h"

class OwnerIndex {
public:
    // False when memory ran out.
    bool build(const struct xfile *files, int count);
    // The first record in snapshot order whose xf_data is so, or null; a null address has no
    // owner (a control block without a socket is not any file's object).
    const struct xfile *owner(kvaddr_t so) const;

    struct Entry {
        kvaddr_t object;
        int position;
    };

private:
    const struct xfile *files_ = nullptr;
    MallocPtr<Entry> entries_;  // by object, then position
    size_t size_ = 0;
};
