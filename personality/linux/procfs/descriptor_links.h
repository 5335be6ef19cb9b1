// Every descriptor of every process the host lets us see, as its /proc/PID/fd link names it:
// the system's file table, one readlink per descriptor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace host {

struct DescriptorLink {
    int pid;
    uint32_t uid;           // the owner of /proc/PID: the process's effective user
    int fd;
    std::string_view link;  // "socket:[N]", "pipe:[N]", a path, ...; valid during the visit only
};

// Visits the descriptors by pid, then by number, until visit returns false. A process that
// ends meanwhile or whose descriptors the host refuses is left out; so are the directories
// this walk holds open when it reaches its own process.
void for_each_descriptor(const std::function<bool(const DescriptorLink &)> &visit);

// How many descriptors the walk would visit now, without reading their links.
size_t count_descriptors();

}  // namespace host
