// getifaddrs(3) and freeifaddrs(3) in FreeBSD's layout (lib/libc/net/getifaddrs.c over
// NET_RT_IFLISTL): per interface an AF_LINK entry with its sockaddr_dl and if_data, then its IPv4
// and IPv6 addresses with netmask, broadcast or peer address and an if_data of their own. The list
// is one allocation, as FreeBSD's, so freeifaddrs frees one block.
#include <ifaddrs.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "freebsd/c_interface.h"
#include "control/control.h"
#include "freebsd/sys/net/if_var.h"

namespace {

constexpr size_t kAlign = 8;

struct Entry {
    std::string name;
    unsigned flags = 0;
    std::string addr, netmask, dst;  // socket address bytes; empty for a null pointer
    bool has_data = false;
    struct if_data data{};
};

size_t aligned(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// A socket address keeps at least the room its own sa_len claims, as FreeBSD's list does, and
// at least that of the largest Internet one, so that a reader who takes its length from either
// the address or its family never reads past it; the room behind the given bytes is zeros.
size_t room(const std::string &sa) {
    if (sa.empty())
        return 0;
    size_t claimed = static_cast<uint8_t>(sa[0]);
    return aligned(std::max({sa.size(), claimed, sizeof(struct sockaddr_in6)}));
}

std::string sockaddr_bytes(const void *sa) {
    return {static_cast<const char *>(sa), static_cast<const struct sockaddr *>(sa)->sa_len};
}

std::vector<Entry> entries_of(const InterfaceSnapshot &snapshot) {
    std::vector<Entry> entries;
    for (const host::Link &link : snapshot.links) {
        Entry e;
        e.name = link.name;
        e.flags = linux_flags_to_freebsd(link.flags, link.type);
        e.addr = sockaddr_bytes(link_address(link).bytes);
        e.has_data = true;
        e.data = link_if_data(link);
        entries.push_back(e);
        for (const host::Address &addr : snapshot.addresses) {
            if (addr.index != link.index)
                continue;
            InetAddresses sa = inet_addresses(addr, e.flags);
            Entry a;
            a.name = link.name;
            a.flags = e.flags;
            a.addr = sockaddr_bytes(&sa.address);
            a.netmask = sockaddr_bytes(&sa.netmask);
            if (sa.has_other)
                a.dst = sockaddr_bytes(&sa.other);
            // The address's own if_data, as the kernel's ifa_msghdrl carries it: only its length
            // and the address's packet and byte counts, which Linux does not keep per address.
            a.has_data = true;
            a.data.ifi_datalen = sizeof(struct if_data);
            entries.push_back(a);
        }
    }
    return entries;
}

// Entries a test hands in: per entry a 16-byte name, the flags (32 bits, little-endian), then
// the address, netmask and broadcast or peer, each as a length byte and that many bytes (a
// length of 0 is a null pointer). False when the bytes end inside an entry.
bool entries_of(std::string_view bytes, std::vector<Entry> &entries) {
    while (!bytes.empty()) {
        if (bytes.size() < 20)
            return false;
        Entry e;
        e.name.assign(bytes.data(), strnlen(bytes.data(), 15));
        std::memcpy(&e.flags, bytes.data() + 16, 4);
        bytes.remove_prefix(20);
        for (std::string *field : {&e.addr, &e.netmask, &e.dst}) {
            if (bytes.empty() || bytes.size() < 1u + static_cast<uint8_t>(bytes[0]))
                return false;
            field->assign(bytes.data() + 1, static_cast<uint8_t>(bytes[0]));
            bytes.remove_prefix(1 + field->size());
        }
        entries.push_back(e);
    }
    return true;
}

// The whole list in one block: the records, then each one's name, addresses and data.
struct ifaddrs *pack(const std::vector<Entry> &entries) {
    size_t size = aligned(entries.size() * sizeof(struct ifaddrs));
    for (const Entry &e : entries)
        size += aligned(e.name.size() + 1) + room(e.addr) + room(e.netmask) + room(e.dst) +
                (e.has_data ? sizeof(struct if_data) : 0);
    char *block = static_cast<char *>(std::calloc(1, size ? size : 1));
    if (block == nullptr)
        return nullptr;
    auto *records = reinterpret_cast<struct ifaddrs *>(block);
    char *cursor = block + aligned(entries.size() * sizeof(struct ifaddrs));
    auto place = [&cursor](const void *data, size_t len, size_t taken) -> char * {
        if (len == 0)
            return nullptr;
        char *at = cursor;
        std::memcpy(at, data, len);
        cursor += taken;
        return at;
    };
    auto place_sockaddr = [&place](const std::string &sa) {
        return reinterpret_cast<struct sockaddr *>(place(sa.data(), sa.size(), room(sa)));
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        struct ifaddrs &r = records[i];
        r.ifa_next = i + 1 < entries.size() ? &records[i + 1] : nullptr;
        r.ifa_name = place(e.name.c_str(), e.name.size() + 1, aligned(e.name.size() + 1));
        r.ifa_flags = e.flags;
        r.ifa_addr = place_sockaddr(e.addr);
        r.ifa_netmask = place_sockaddr(e.netmask);
        r.ifa_dstaddr = place_sockaddr(e.dst);
        r.ifa_data = e.has_data ? place(&e.data, sizeof(e.data), sizeof(e.data)) : nullptr;
    }
    return records;
}

int fail(int err) {
    errno = err;
    return -1;
}

}  // namespace

int getifaddrs(struct ifaddrs **list) {
    return without_exceptions<int>(-1, [&]() -> int {
        if (list == nullptr)
            return fail(EINVAL);
        std::vector<Entry> entries;
        control::Outcome o = control::consult("getifaddrs", {}, true);
        if (o.action == control::Action::fail)
            return fail(o.err);
        if (o.action == control::Action::answer) {
            if (!entries_of(o.bytes, entries))
                return fail(EINVAL);
        } else {
            InterfaceSnapshot snapshot;
            if (int err = read_interface_snapshot(snapshot))
                return fail(err);
            entries = entries_of(snapshot);
        }
        struct ifaddrs *packed = pack(entries);
        if (packed == nullptr)
            return fail(ENOMEM);
        *list = entries.empty() ? (std::free(packed), nullptr) : packed;
        return 0;
    });
}

void freeifaddrs(struct ifaddrs *list) { std::free(list); }
