// Network interfaces: their addresses and their properties (table B), and the two routines
// that turn a socket address into text and a media word into a link speed.
#pragma once
#include "module.h"

#include <sys/socket.h>

// A new str with the text of addr read as family, or None when there is nothing to show;
// NULL with an exception only when the str cannot be built.
LUMVIK_EXPORT PyObject *lumvik_convert_ipaddr(const struct sockaddr *addr, int family);
// The link speed of a media word in megabits per second; 0 when it tells none.
LUMVIK_EXPORT int lumvik_get_nic_speed(int media);

LUMVIK_EXPORT PyObject *lumvik_net_if_addrs(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_net_if_mtu(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_net_if_flags(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_net_if_is_running(PyObject *self, PyObject *args);
LUMVIK_EXPORT PyObject *lumvik_net_if_duplex_speed(PyObject *self, PyObject *args);
