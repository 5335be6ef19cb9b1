// setutxent(3), getutxent(3) and endutxent(3): the user-accounting database as FreeBSD's
// lib/libc/gen/getutxent.c walks it (one read position per process, rewound by setutxent, closed
// by endutxent), each entry as lib/libc/gen/utxdb.c's futx_to_utx() makes it. Each walk reads the
// host's utmp once, whole.
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

// A text as futx_to_utx copies it: at most one byte short of the field, so that a NUL always ends it.
template <size_t N>
void set_text(char (&field)[N], const std::string &text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// ut_id is 8 raw bytes, not a string.
void set_id(char (&field)[sizeof(utmpx::ut_id)], const std::string &id) {
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, id.data(), std::min(id.size(), sizeof(field)));
}

// Which fields a record of each type carries, as futx_to_utx fills them.
struct Carried {
    bool id_pid, user_line, host;
};
Carried carried_by(short freebsd_type) {
    switch (freebsd_type) {
    case USER_PROCESS:
        return {true, true, true};
    case LOGIN_PROCESS:
        return {true, true, false};
    case INIT_PROCESS:
    case DEAD_PROCESS:
        return {true, false, false};
    default:  // the clock records carry their time only
        return {false, false, false};
    }
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
    if (out.ut_type == EMPTY)
        return;  // FreeBSD gives nothing but the type of a record it does not know
    out.ut_tv.tv_sec = e.sec;
    out.ut_tv.tv_usec = e.usec;
    Carried carried = carried_by(out.ut_type);
    if (carried.id_pid) {
        set_id(out.ut_id, e.id);
        out.ut_pid = e.pid;
    }
    if (carried.user_line) {
        set_text(out.ut_user, e.user);
        set_text(out.ut_line, e.line);
    }
    if (carried.host)
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
