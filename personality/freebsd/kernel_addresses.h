// Linux shows no kernel addresses. Records that FreeBSD joins by address get stand-ins made
// from the socket inode, one per kind of kernel object, so that a socket has the same address
// in the file table, the control block lists and kinfo_getfile.
#pragma once
#include <sys/types.h>

#include <cstdint>

// Inodes of sockets are 32-bit on Linux; shifted, they stay unique below the kernel's half.
inline kvaddr_t socket_kernel_address(uint64_t inode) { return 0xfffff80000000000ull | (inode << 8); }
inline kvaddr_t pcb_kernel_address(uint64_t inode) { return 0xfffff80000000000ull | (inode << 8) | 0x80; }
// The vnode of a unix socket's file, from the file's inode (32 bits in the host's socket
// diagnostics): files of different file systems with one inode number share it.
inline kvaddr_t vnode_kernel_address(uint32_t file_inode) {
    return 0xfffff80000000000ull | (uint64_t{file_inode} << 8) | 0x40;
}
