// The host's user-accounting file (utmp), read whole, without the C library's shared position.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One record; its texts up to their first NUL or the end of their field.
struct UtmpEntry {
    short type = 0;  // the host's ut_type numbers
    int pid = 0;
    std::string line, id, user, host;
    int64_t sec = 0, usec = 0;
};

// The entries of the file at path (the host's own when null): 0, or the errno of the failed
// read. A missing file is an empty database.
int read_utmp(const char *path, std::vector<UtmpEntry> &out);

// The host's type numbers the FreeBSD side translates.
enum UtmpType : short {
    kUtEmpty = 0, kUtRunLevel = 1, kUtBootTime = 2, kUtNewTime = 3, kUtOldTime = 4,
    kUtInitProcess = 5, kUtLoginProcess = 6, kUtUserProcess = 7, kUtDeadProcess = 8, kUtAccounting = 9,
};

}  // namespace host
