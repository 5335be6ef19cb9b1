// Names and texts of addresses, ports and interfaces, from the host's C library and resolver.
#pragma once
#include <cstddef>
#include <cstdint>

#include "linux/net/rtnetlink.h"

namespace host {

// The name of interface index in the caller's namespace; false when there is none.
bool interface_name(int index, char (&name)[16]);
// The text of an IPv4 or IPv6 address; false when it does not fit.
bool format_address(AddrFamily family, const uint8_t *addr, char *out, size_t size);

// The host name of an address (scope_id: its interface, for link-local IPv6); false when the
// resolver has none or it does not fit. nofqdn: only the part before the first dot, for local hosts.
bool reverse_name(AddrFamily family, const uint8_t *addr, uint32_t scope_id, bool nofqdn, char *out, size_t size);
// The service name of a port (in host order); false when there is none or it does not fit.
bool service_name(uint16_t port, bool datagram, char *out, size_t size);

}  // namespace host
