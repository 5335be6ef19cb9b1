// proc_net_connections(pid, families, types): the sockets one process holds, from its
// descriptor records, with the TCP state of its Internet stream sockets from the TCP list.
#include "arch/freebsd/sockets.h"

#include <sys/types.h>
#include <sys/socket.h>
#include <sys/sysctl.h>
#include <sys/user.h>

#include <libutil.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/freebsd/socket_lists.h"
#include "arch/posix/proc.h"

namespace {

// The TCP list, fetched once at the size the kernel gives: a list that grew meanwhile fails.
int fetch_tcp_list(MallocPtr<char> &buf, size_t *len) {
    if (sysctlbyname("net.inet.tcp.pcblist", nullptr, len, nullptr, 0) == -1) {
        lumvik_oserror();
        return -1;
    }
    buf.reset(static_cast<char *>(std::malloc(*len > 0 ? *len : 1)));
    if (!buf) {
        PyErr_NoMemory();
        return -1;
    }
    if (sysctlbyname("net.inet.tcp.pcblist", buf.get(), len, nullptr, 0) == -1) {
        lumvik_oserror();
        return -1;
    }
    return 0;
}

bool v4_mapped(const struct in6_addr &addr) {
    static const uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(addr.s6_addr, prefix, sizeof(prefix)) == 0;
}

// Whether an address of the descriptor record is the record's. An IPv6 socket that talks IPv4
// shows a v4-mapped address to its descriptor, while its control block keeps the IPv4 address
// (INP_IPV4 alone): those compare as IPv4.
bool same_address(int domain, const struct sockaddr_storage &sa, const struct xinpcb &xi, const struct in_addr &v4,
                  const struct in6_addr &v6) {
    if (domain == AF_INET)
        return std::memcmp(&reinterpret_cast<const struct sockaddr_in &>(sa).sin_addr, &v4, sizeof(v4)) == 0;
    const struct in6_addr &addr = reinterpret_cast<const struct sockaddr_in6 &>(sa).sin6_addr;
    if ((xi.inp_vflag & (INP_IPV4 | INP_IPV6)) == INP_IPV4 && v4_mapped(addr))
        return std::memcmp(addr.s6_addr + 12, &v4, sizeof(v4)) == 0;
    return std::memcmp(&addr, &v6, sizeof(v6)) == 0;
}

in_port_t port_of(int domain, const struct sockaddr_storage &sa) {
    return domain == AF_INET ? reinterpret_cast<const struct sockaddr_in &>(sa).sin_port
                                   : reinterpret_cast<const struct sockaddr_in6 &>(sa).sin6_port;
}

// The TCP state of an Internet stream socket: the first record of the list with its type,
// family, protocol, ports and addresses; the walk stays inside the list.
int tcp_state(const char *list, size_t len, const struct kinfo_file &kf) {
    const struct xinpgen *head = record_at<struct xinpgen>(list, len, 0);
    if (head == nullptr)
        return LUMVIK_CONN_NONE;
    for (size_t offset = head->xig_len;;) {
        const struct xtcpcb *xt = record_at<struct xtcpcb>(list, len, offset);
        if (xt == nullptr || xt->xt_len <= sizeof(struct xinpgen))
            return LUMVIK_CONN_NONE;
        const struct xinpcb &xi = xt->xt_inp;
        int domain = kf.kf_sock_domain;
        if (xi.xi_socket.so_type == SOCK_STREAM && xi.xi_socket.xso_family == domain &&
            xi.xi_socket.xso_protocol == kf.kf_sock_protocol && xi.inp_lport == port_of(domain, kf.kf_sa_local) &&
            same_address(domain, kf.kf_sa_local, xi, xi.inp_laddr, xi.in6p_laddr) &&
            xi.inp_fport == port_of(domain, kf.kf_sa_peer) &&
            same_address(domain, kf.kf_sa_peer, xi, xi.inp_faddr, xi.in6p_faddr))
            return xt->t_state;
        if (xt->xt_len > len - offset)  // a length past the end (or wrapping around) ends the walk
            return LUMVIK_CONN_NONE;
        offset += xt->xt_len;
    }
}

int append(PyObject *list, PyRef item) { return item && PyList_Append(list, item.get()) == 0 ? 0 : -1; }

int inet_socket(const struct kinfo_file &kf, const char *tcp_list, size_t tcp_len, PyObject *list) {
    int status = kf.kf_sock_type == SOCK_STREAM ? tcp_state(tcp_list, tcp_len, kf) : LUMVIK_CONN_NONE;
    const auto &local = reinterpret_cast<const struct sockaddr_in &>(kf.kf_sa_local);
    const auto &peer = reinterpret_cast<const struct sockaddr_in &>(kf.kf_sa_peer);
    const auto &local6 = reinterpret_cast<const struct sockaddr_in6 &>(kf.kf_sa_local);
    const auto &peer6 = reinterpret_cast<const struct sockaddr_in6 &>(kf.kf_sa_peer);
    bool v6 = kf.kf_sock_domain == AF_INET6;
    PyObject *laddr = lumvik_address_tuple(kf.kf_sock_domain, v6 ? static_cast<const void *>(&local6.sin6_addr)
                                                                 : &local.sin_addr,
                                           v6 ? local6.sin6_port : local.sin_port, false);
    if (laddr == nullptr)
        return -1;
    PyObject *raddr = lumvik_address_tuple(kf.kf_sock_domain, v6 ? static_cast<const void *>(&peer6.sin6_addr)
                                                                 : &peer.sin_addr,
                                           v6 ? peer6.sin6_port : peer.sin_port, true);
    if (raddr == nullptr) {
        Py_DECREF(laddr);
        return -1;
    }
    return append(list, PyRef(Py_BuildValue("(iiiNNi)", kf.kf_fd, kf.kf_sock_domain, kf.kf_sock_type, laddr, raddr,
                                            status)));
}

int local_socket(const struct kinfo_file &kf, PyObject *list) {
    PyRef path(lumvik_local_path(reinterpret_cast<const struct sockaddr_un &>(kf.kf_sa_local)));
    if (!path)
        return -1;
    return append(list, PyRef(Py_BuildValue("(iiiOsi)", kf.kf_fd, kf.kf_sock_domain, kf.kf_sock_type, path.get(), "",
                                            LUMVIK_CONN_NONE)));
}

// 1 when value is in sequence, 0 when not, -1 with the exception set.
int contains(PyObject *sequence, long value) {
    PyRef number(PyLong_FromLong(value));
    return number ? PySequence_Contains(sequence, number.get()) : -1;
}

}  // namespace

PyObject *lumvik_proc_net_connections(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    pid_t pid;
    PyObject *families, *types;
    if (!PyArg_ParseTuple(args, "iOO", &pid, &families, &types))
        return nullptr;
    if (!PySequence_Check(families) || !PySequence_Check(types)) {
        PyErr_SetString(PyExc_TypeError, "arg 2 or 3 is not a sequence");
        return nullptr;
    }
    int count = 0;
    errno = 0;  // lets the classifier tell a failure with an errno from one without
    MallocPtr<struct kinfo_file> records(kinfo_getfile(pid, &count));
    if (!records)
        return lumvik_raise_for_pid(pid, "kinfo_getfile()");
    MallocPtr<char> tcp_list;
    size_t tcp_len = 0;
    if (fetch_tcp_list(tcp_list, &tcp_len) != 0)
        return nullptr;

    for (int i = 0; i < count; ++i) {
        const struct kinfo_file &kf = records.get()[i];
        if (kf.kf_type != KF_TYPE_SOCKET)
            continue;
        int found = contains(families, kf.kf_sock_domain);
        if (found == 1)
            found = contains(types, kf.kf_sock_type);
        if (found < 0)
            return nullptr;
        if (found == 0)
            continue;
        int rc = 0;
        if (kf.kf_sock_domain == AF_UNIX)
            rc = local_socket(kf, list.get());
        else if (kf.kf_sock_domain == AF_INET || kf.kf_sock_domain == AF_INET6)
            rc = inet_socket(kf, tcp_list.get(), tcp_len, list.get());
        if (rc != 0)
            return nullptr;
    }
    return list.release();
}
