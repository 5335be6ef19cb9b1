// The host's utmp file (utmp(5)) read whole and parsed record by record.
#include "linux/libc/utmp.h"

#include <utmp.h>

#include <cerrno>
#include <cstring>

#include "linux/text_file.h"

namespace host {
namespace {

template <size_t N>
std::string field_text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace

int read_utmp(const char *path, std::vector<UtmpEntry> &out) {
    out.clear();
    TextFile file;
    if (int err = file.read(path != nullptr ? path : _PATH_UTMP))
        return err == ENOENT ? 0 : err;
    std::string_view bytes = file.text();
    for (size_t at = 0; at + sizeof(struct utmp) <= bytes.size(); at += sizeof(struct utmp)) {
        struct utmp u;
        std::memcpy(&u, bytes.data() + at, sizeof(u));
        out.push_back({u.ut_type, u.ut_pid, field_text(u.ut_line), field_text(u.ut_id), field_text(u.ut_user),
                       field_text(u.ut_host), u.ut_tv.tv_sec, u.ut_tv.tv_usec});
    }
    return 0;
}

}  // namespace host
