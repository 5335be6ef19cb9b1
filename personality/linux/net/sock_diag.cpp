// NETLINK_SOCK_DIAG dumps (linux/sock_diag.h, net/core/sock_diag.c).
#include "linux/net/sock_diag.h"

#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/procfs/process_dir.h"

namespace host {
namespace {

// Large enough for the requests of every family (inet_diag_req_v2, unix_diag_req).
constexpr size_t kMaxRequest = 64;

bool send_request(int fd, const void *request, size_t size) {
    if (size > kMaxRequest)
        return false;
    struct {
        struct nlmsghdr header;
        alignas(NLMSG_ALIGNTO) unsigned char body[kMaxRequest];
    } message = {};
    message.header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(size));
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    std::memcpy(message.body, request, size);
    struct sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    ssize_t length = static_cast<ssize_t>(message.header.nlmsg_len);
    return sendto(fd, &message, static_cast<size_t>(length), 0, reinterpret_cast<struct sockaddr *>(&kernel),
                  sizeof(kernel)) == length;
}

bool read_answers(int fd, const std::function<void(const struct nlmsghdr &)> &each) {
    alignas(struct nlmsghdr) char buf[32768];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        int len = static_cast<int>(n);
        for (auto *header = reinterpret_cast<struct nlmsghdr *>(buf); NLMSG_OK(header, len);
             header = NLMSG_NEXT(header, len)) {
            if (header->nlmsg_type == NLMSG_DONE)
                return true;
            if (header->nlmsg_type == NLMSG_ERROR)
                return false;
            each(*header);
        }
    }
}

}  // namespace

bool dump_sock_diag(const void *request, size_t size, const std::function<void(const struct nlmsghdr &)> &each) {
    OwnedFd fd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    return fd.get() >= 0 && send_request(fd.get(), request, size) && read_answers(fd.get(), each);
}

}  // namespace host
