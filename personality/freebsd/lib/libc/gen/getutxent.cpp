// setutxent(3), getutxent(3) and endutxent(3): the user-accounting database as FreeBSD's
// lib/libc/gen/getutxent.c walks it: one read position per process, rewound by setutxent, closed
// by endutxent. Each walk reads the host's utmp once, whole.
#include <utmpx.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/lib/libc/gen/utxdb.h"
#include "freebsd/translation.h"

namespace {

constexpr Translation<short, short> utmp_types[] = {
    {host::kUtEmpty, EMPTY},           {host::kUtBootTime, BOOT_TIME},       {host::kUtOldTime, OLD_TIME},
    {host::kUtNewTime, NEW_TIME},      {host::kUtUserProcess, USER_PROCESS}, {host::kUtInitProcess, INIT_PROCESS},
    {host::kUtLoginProcess, LOGIN_PROCESS}, {host::kUtDeadProcess, DEAD_PROCESS},
};

struct Database {
    std::mutex lock;
    bool open = false;
    std::vector<host::UtmpEntry> entries;
    size_t next = 0;
};
Database database;
thread_local struct utmpx current;  // what getutxent returns, the caller's own until its next call

template <size_t N>
void set_text(char (&field)[N], const std::string &text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

// Tests point the database at a file of their own: the override's bytes are its path.
void load(Database &db) {
    control::Outcome o = control::consult("utmpx", {}, true);
    const char *path = o.action == control::Action::answer ? o.bytes.c_str() : nullptr;
    if (o.action == control::Action::fail || host::read_utmp(path, db.entries) != 0)
        db.entries.clear();  // an unreadable database has no entries, as FreeBSD's
    db.next = 0;
    db.open = true;
}

}  // namespace

short freebsd_utmp_type(short host_type) {
    return translate(utmp_types, host_type, static_cast<short>(EMPTY));
}

void fill_utmpx(const host::UtmpEntry &e, struct utmpx &out) {
    std::memset(&out, 0, sizeof(out));
    out.ut_type = freebsd_utmp_type(e.type);
    out.ut_tv.tv_sec = e.sec;
    out.ut_tv.tv_usec = e.usec;
    set_text(out.ut_id, e.id);
    out.ut_pid = e.pid;
    set_text(out.ut_user, e.user);
    set_text(out.ut_line, e.line);
    set_text(out.ut_host, e.host);
}

void setutxent(void) {
    without_exceptions([] {
        std::lock_guard guard(database.lock);
        load(database);
    });
}

struct utmpx *getutxent(void) {
    return without_exceptions<struct utmpx *>(nullptr, []() -> struct utmpx * {
        std::lock_guard guard(database.lock);
        if (!database.open)
            load(database);
        if (database.next >= database.entries.size())
            return nullptr;
        fill_utmpx(database.entries[database.next++], current);
        return &current;
    });
}

void endutxent(void) {
    without_exceptions([] {
        std::lock_guard guard(database.lock);
        database.open = false;
        database.entries = {};
        database.next = 0;
    });
}
