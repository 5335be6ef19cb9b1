// The personality's translations of host values into FreeBSD's: tables of pairs walked by one
// loop, as FreeBSD's own tools keep their flag and name tables.
#pragma once
#include <cstddef>

template <typename Host, typename Freebsd>
struct Translation {
    Host host;
    Freebsd freebsd;
};

// What the table gives for a host value, or the fallback where it has no row.
template <typename Host, typename Freebsd, size_t N>
constexpr Freebsd translate(const Translation<Host, Freebsd> (&table)[N], Host value, Freebsd fallback) {
    for (const Translation<Host, Freebsd> &row : table)
        if (row.host == value)
            return row.freebsd;
    return fallback;
}
