/* The raw cost of the host reads behind the interface functions, with no conversion. Each line:
 * a name and the median nanoseconds of one pass. Argument: the interface the per-interface
 * requests ask about. */
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include "timing.h"

static char buf[1 << 16];
static const char *ifname;

/* One rtnetlink dump read to its end. */
static void dump(int type) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    struct {
        struct nlmsghdr h;
        struct ifinfomsg i;
    } req = {{NLMSG_LENGTH(sizeof(struct ifinfomsg)), type, NLM_F_REQUEST | NLM_F_DUMP, 1, 0}, {0}};
    send(fd, &req, req.h.nlmsg_len, 0);
    for (int done = 0; !done;) {
        int n = (int)recv(fd, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        for (struct nlmsghdr *h = (struct nlmsghdr *)buf; NLMSG_OK(h, n); h = NLMSG_NEXT(h, n))
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR)
                done = 1;
    }
    close(fd);
}

static void interface_list(void) {
    dump(RTM_GETLINK);
    dump(RTM_GETADDR);
}

static void proc_net_dev(void) {
    FILE *f = fopen("/proc/net/dev", "r");
    while (f && fread(buf, 1, sizeof(buf), f) > 0) {
    }
    if (f)
        fclose(f);
}

static void glibc_getifaddrs(void) {
    struct ifaddrs *list;
    if (getifaddrs(&list) == 0)
        freeifaddrs(list);
}

/* socket, the requests in order, close. */
static void requests(const unsigned long *which, int count) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    for (int i = 0; i < count; ++i) {
        struct ifreq ifr;
        struct ethtool_cmd cmd = {.cmd = ETHTOOL_GSET};
        memset(&ifr, 0, sizeof(ifr));
        strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
        if (which[i] == SIOCETHTOOL)
            ifr.ifr_data = (char *)&cmd;
        ioctl(fd, which[i], &ifr);
    }
    close(fd);
}

static void mtu(void) { requests((const unsigned long[]){SIOCGIFMTU}, 1); }
static void flags(void) { requests((const unsigned long[]){SIOCGIFFLAGS, SIOCGIFHWADDR}, 2); }
static void media(void) { requests((const unsigned long[]){SIOCGIFFLAGS, SIOCGIFHWADDR, SIOCETHTOOL}, 3); }

int main(int argc, char **argv) {
    ifname = argc > 1 ? argv[1] : "lo";
    const struct {
        const char *name;
        void (*pass)(void);
    } passes[] = {
        {"interface_list", interface_list}, {"proc_net_dev", proc_net_dev}, {"getifaddrs", glibc_getifaddrs},
        {"mtu", mtu},                       {"flags", flags},               {"media", media},
    };
    for (size_t i = 0; i < sizeof(passes) / sizeof(passes[0]); ++i)
        printf("%s %lld\n", passes[i].name, pass_ns(passes[i].pass));
    return 0;
}
