#include "arch/posix/users.h"

#include <utmpx.h>

#include <cstring>

#include "arch/all/owned.h"

PyMutex utxent_lock = {};

namespace {

// One walk of the database from its first entry, under the lock; the walk is closed before
// the lock is released, on every way out.
class DatabaseWalk {
public:
    DatabaseWalk() {
        PyMutex_Lock(&utxent_lock);
        setutxent();
    }
    ~DatabaseWalk() {
        endutxent();
        PyMutex_Unlock(&utxent_lock);
    }
    DatabaseWalk(const DatabaseWalk &) = delete;
    DatabaseWalk &operator=(const DatabaseWalk &) = delete;
};

template <size_t N>
PyObject *decode_field(const char (&field)[N]) {
    return PyUnicode_DecodeFSDefaultAndSize(field, static_cast<Py_ssize_t>(strnlen(field, N)));
}

// The remote host, or "localhost" for a local login: no host, or the first X display.
PyObject *decode_host(const char (&field)[sizeof(utmpx::ut_host)]) {
    static const char *const local_displays[] = {"", ":0", ":0.0"};
    char host[sizeof(field) + 1] = {};
    std::memcpy(host, field, strnlen(field, sizeof(field)));
    for (const char *local : local_displays)
        if (std::strcmp(host, local) == 0)
            return PyUnicode_DecodeFSDefault("localhost");
    return PyUnicode_DecodeFSDefault(host);
}

PyObject *user_tuple(const struct utmpx &ut) {
    PyRef user(decode_field(ut.ut_user));
    if (!user)
        return nullptr;
    PyRef line(decode_field(ut.ut_line));
    if (!line)
        return nullptr;
    PyRef host(decode_host(ut.ut_host));
    if (!host)
        return nullptr;
    return Py_BuildValue("OOOdi", user.get(), line.get(), host.get(), static_cast<double>(ut.ut_tv.tv_sec),
                         static_cast<int>(ut.ut_pid));
}

}  // namespace

PyObject *lumvik_users(PyObject *, PyObject *) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    DatabaseWalk walk;
    while (const struct utmpx *ut = getutxent()) {
        if (ut->ut_type != USER_PROCESS)
            continue;
        PyRef item(user_tuple(*ut));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}
