// What the two socket tables share: reading the kernel's socket lists, which grow while they
// are read, and turning the records' addresses into Python values.
#pragma once
#include "module.h"

// In the order FreeBSD's headers need one another.
#include <sys/param.h>
#include <sys/types.h>
#include <sys/socket.h>
#include <sys/socketvar.h>
#include <sys/un.h>
#include <sys/unpcb.h>
#include <netinet/in.h>
#include <netinet/in_pcb.h>
#include <netinet/tcp_var.h>

#include <cstring>

#include "arch/all/owned.h"

// Reads the node into buf, which holds size bytes and may be replaced by a larger one. A fetch
// that finds the node grown (ENOMEM) asks for the node's size and retries with at least twice
// the room, a bounded number of times. 0 with the length read in *len, or -1 with an exception
// set: OSError from errno (ENOMEM when it kept growing), MemoryError.
int lumvik_read_growing(const char *name, MallocPtr<char> &buf, size_t &size, size_t *len);

// ("text", port) for an address of family AF_INET (4 bytes) or AF_INET6 (16 bytes) and a port
// in network order; the empty tuple instead when no_port_empty and the port is 0.
PyObject *lumvik_address_tuple(int family, const void *addr, in_port_t port, bool no_port_empty);

// The bound path of a local address, decoded: at most sun_len - 2 bytes, stopping at a NUL, and
// never past sun_path.
PyObject *lumvik_local_path(const struct sockaddr_un &sun);

// A record of type Record at offset within a buffer of len bytes (the buffer aligned as malloc
// aligns), or null where no record can be: running past the end, or at an offset its alignment
// forbids, which only a length that lies can lead to. Every walker of the lists reads records
// through here, so a misplaced record is the end of a walk or a size mismatch, never a load
// from an odd address.
template <class Record>
const Record *record_at(const char *buf, size_t len, size_t offset) {
    if (offset > len || len - offset < sizeof(Record) || offset % alignof(Record) != 0)
        return nullptr;
    return reinterpret_cast<const Record *>(buf + offset);
}

// The length field that opens every record of the lists.
inline ksize_t record_length(const char *record) {
    ksize_t length;
    std::memcpy(&length, record, sizeof(length));
    return length;
}
