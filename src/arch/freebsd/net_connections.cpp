// net_connections(families, types): every TCP, UDP and local socket that a process holds, with
// the process and descriptor that own it, joined from the file table and the control block lists.
#include "arch/freebsd/sockets.h"

#include <sys/types.h>
#include <sys/file.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/freebsd/owner_index.h"
#include "arch/freebsd/socket_lists.h"

namespace {

constexpr size_t kFileSnapshotStart = 128, kListStart = 8192;
constexpr int kGenerationRetries = 5;

struct Wanted {
    bool ipv4, ipv6, local, stream, dgram;
};

// -1 with the exception set when a test raised.
int contains(PyObject *sequence, long value) {
    PyRef number(PyLong_FromLong(value));
    return number ? PySequence_Contains(sequence, number.get()) : -1;
}

int wanted_from(PyObject *families, PyObject *types, Wanted &w) {
    const struct {
        PyObject *sequence;
        long value;
        bool &flag;
    } tests[] = {
        {families, AF_INET, w.ipv4},     {families, AF_INET6, w.ipv6}, {families, AF_UNIX, w.local},
        {types, SOCK_STREAM, w.stream}, {types, SOCK_DGRAM, w.dgram},
    };
    for (const auto &t : tests) {
        int found = contains(t.sequence, t.value);
        if (found < 0)
            return -1;
        t.flag = found == 1;
    }
    return 0;
}

// The file table snapshot; the buffer stays the caller's whatever happens.
int lumvik_net_connections_files(MallocPtr<char> &buf, int *count) {
    size_t size = kFileSnapshotStart, len = 0;
    if (lumvik_read_growing("kern.file", buf, size, &len) != 0)
        return -1;
    if (len != 0 && reinterpret_cast<const struct xfile *>(buf.get())->xf_size != sizeof(struct xfile)) {
        lumvik_runtime_error("struct xfile size mismatch");
        return -1;
    }
    *count = static_cast<int>(len / sizeof(struct xfile));
    return 0;
}

// One control block list: the records between its two generation records, refetched while
// the generations differ, at most kGenerationRetries times.
template <class Gen>
int fetch_list(const char *name, MallocPtr<char> &buf, size_t *begin, size_t *end) {
    size_t size = kListStart, len = 0;
    buf.reset(static_cast<char *>(std::malloc(size)));
    if (!buf) {
        PyErr_NoMemory();
        return -1;
    }
    for (int retries = kGenerationRetries;; --retries) {
        if (lumvik_read_growing(name, buf, size, &len) != 0)
            return -1;
        // The generation records are read field by field, wherever the list's length puts the last.
        if (len < 2 * sizeof(Gen) || record_length(buf.get()) != sizeof(Gen) ||
            record_length(buf.get() + len - sizeof(Gen)) != sizeof(Gen)) {
            lumvik_runtime_error("struct xinpgen size mismatch");
            return -1;
        }
        uint64_t head_gen, tail_gen;  // 16 bytes in, in both kinds of generation record
        std::memcpy(&head_gen, buf.get() + 16, sizeof(head_gen));
        std::memcpy(&tail_gen, buf.get() + len - sizeof(Gen) + 16, sizeof(tail_gen));
        if (head_gen == tail_gen || retries == 0) {
            *begin = sizeof(Gen);
            *end = len - sizeof(Gen);
            return 0;
        }
    }
}

// Calls visit(record) for each record of Record's size between begin and end; a record of
// another length, or one that runs past end, fails the walk with mismatch_message.
template <class Record, class Visit>
int walk_records(const char *buf, size_t begin, size_t end, const char *mismatch_message, Visit visit) {
    for (size_t offset = begin; offset < end; offset += sizeof(Record)) {
        const Record *record = record_at<Record>(buf, end, offset);
        if (record == nullptr || record_length(reinterpret_cast<const char *>(record)) != sizeof(Record)) {
            lumvik_runtime_error("%s", mismatch_message);
            return -1;
        }
        if (visit(*record) != 0)
            return -1;
    }
    return 0;
}

int append(PyObject *list, PyRef item) { return item && PyList_Append(list, item.get()) == 0 ? 0 : -1; }

struct InetWalk {
    int protocol;
    const char *list_name;
    const char *mismatch_message;
};

int inet_record(const struct xinpcb &xi, int status, int type, const Wanted &w, PyObject *list,
                const OwnerIndex &owners) {
    if (((xi.inp_vflag & INP_IPV4) && !w.ipv4) || ((xi.inp_vflag & INP_IPV6) && !w.ipv6))
        return 0;
    if (!(xi.inp_vflag & (INP_IPV4 | INP_IPV6)))
        return 0;  // neither family: not produced by the kernel's lists
    const struct xfile *owner = owners.owner(xi.xi_socket.xso_so);
    if (owner == nullptr)
        return 0;
    bool ipv4 = xi.inp_vflag & INP_IPV4;  // this bit wins when both are set
    int family = ipv4 ? AF_INET : AF_INET6;
    const void *laddr = ipv4 ? static_cast<const void *>(&xi.inp_laddr) : &xi.in6p_laddr;
    const void *faddr = ipv4 ? static_cast<const void *>(&xi.inp_faddr) : &xi.in6p_faddr;
    PyObject *local = lumvik_address_tuple(family, laddr, xi.inp_lport, false);
    if (local == nullptr)
        return -1;
    PyObject *remote = lumvik_address_tuple(family, faddr, xi.inp_fport, true);
    if (remote == nullptr) {
        Py_DECREF(local);
        return -1;
    }
    return append(list, PyRef(Py_BuildValue("iiiNNii", owner->xf_fd, family, type, local, remote, status,
                                            owner->xf_pid)));
}

int lumvik_net_connections_inet(int protocol, const Wanted &w, PyObject *list, const OwnerIndex &owners) {
    MallocPtr<char> buf;
    size_t begin = 0, end = 0;
    switch (protocol) {
    case IPPROTO_TCP:
        if (fetch_list<struct xinpgen>("net.inet.tcp.pcblist", buf, &begin, &end) != 0)
            return -1;
        return walk_records<struct xtcpcb>(buf.get(), begin, end, "struct xtcpcb size mismatch",
                                           [&](const struct xtcpcb &xt) {
                                               return inet_record(xt.xt_inp, xt.t_state, SOCK_STREAM, w, list, owners);
                                           });
    case IPPROTO_UDP:
        if (fetch_list<struct xinpgen>("net.inet.udp.pcblist", buf, &begin, &end) != 0)
            return -1;
        return walk_records<struct xinpcb>(buf.get(), begin, end, "struct xinpcb size mismatch",
                                           [&](const struct xinpcb &xi) {
                                               return inet_record(xi, LUMVIK_CONN_NONE, SOCK_DGRAM, w, list, owners);
                                           });
    default:
        lumvik_runtime_error("invalid proto");
        return -1;
    }
}

int lumvik_net_connections_unix(int type, PyObject *list, const OwnerIndex &owners) {
    MallocPtr<char> buf;
    size_t begin = 0, end = 0;
    const char *name = type == SOCK_STREAM ? "net.local.stream.pcblist" : "net.local.dgram.pcblist";
    if (fetch_list<struct xunpgen>(name, buf, &begin, &end) != 0)
        return -1;
    return walk_records<struct xunpcb>(buf.get(), begin, end, "struct xunpcb size mismatch",
                                       [&](const struct xunpcb &xu) {
                                           const struct xfile *owner = owners.owner(xu.xu_socket.xso_so);
                                           if (owner == nullptr)
                                               return 0;
                                           PyRef path(lumvik_local_path(xu.xu_addr));
                                           if (!path)
                                               return -1;
                                           return append(list, PyRef(Py_BuildValue("(iiiOsii)", owner->xf_fd, AF_UNIX,
                                                                                   type, path.get(), "",
                                                                                   LUMVIK_CONN_NONE, owner->xf_pid)));
                                       });
}

}  // namespace

PyObject *lumvik_net_connections(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    PyObject *families, *types;
    if (!PyArg_ParseTuple(args, "OO", &families, &types))
        return nullptr;
    if (!PySequence_Check(families) || !PySequence_Check(types)) {
        PyErr_SetString(PyExc_TypeError, "arg 2 or 3 is not a sequence");
        return nullptr;
    }
    Wanted w{};
    if (wanted_from(families, types, w) != 0)
        return nullptr;

    MallocPtr<char> files(static_cast<char *>(std::malloc(kFileSnapshotStart)));
    if (!files)
        return PyErr_NoMemory();
    int count = 0;
    if (lumvik_net_connections_files(files, &count) != 0)
        return nullptr;
    OwnerIndex owners;
    if (!owners.build(reinterpret_cast<const struct xfile *>(files.get()), count))
        return PyErr_NoMemory();

    if (w.stream && lumvik_net_connections_inet(IPPROTO_TCP, w, list.get(), owners) != 0)
        return nullptr;
    if (w.dgram && lumvik_net_connections_inet(IPPROTO_UDP, w, list.get(), owners) != 0)
        return nullptr;
    if (w.local && (lumvik_net_connections_unix(SOCK_STREAM, list.get(), owners) != 0 ||
                    lumvik_net_connections_unix(SOCK_DGRAM, list.get(), owners) != 0))
        return nullptr;
    return list.release();
}
