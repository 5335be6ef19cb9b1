// The owner of each socket: the first record of the file table snapshot whose object is that
// socket, found through an index built once per call instead of a scan per socket.
#pragma once
#include <sys/types.h>
#include <sys/file.h>

#include <utility>
#include <vector>

class OwnerIndex {
public:
    // False when memory ran out (no exception leaves).
    bool build(const struct xfile *files, int count) noexcept;
    // The first record in snapshot order whose xf_data is so, or null; a null address has no
    // owner (a control block without a socket is not any file's object).
    const struct xfile *owner(kvaddr_t so) const noexcept;

private:
    const struct xfile *files_ = nullptr;
    std::vector<std::pair<kvaddr_t, int>> by_object_;  // (xf_data, position), sorted
};
