// The host's text form of an Internet address.
#pragma once
#include <cstddef>

namespace host {

// addr holds 4 bytes (IPv4) or 16 (IPv6); 0, or the host's errno (ENOSPC when size is short).
int address_text(bool ipv6, const void *addr, char *text, size_t size);

}  // namespace host
