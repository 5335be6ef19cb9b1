// The sysctl tree as FreeBSD's kern_sysctl.c shows it: walked with {0,2} as sysctl(8) walks it,
// every node named by {0,1} and described by {0,4}, names resolved by {0,3}; the answers to
// calls that cannot be served; and the scalar nodes against what Linux says.
#include <sys/sysctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "freebsd/sys/kern/kern_sysctl.h"
#include "test_support.h"

namespace {

using Number = std::vector<int>;

struct Answer {
    int err = 0;
    std::string bytes;
};

// sysctl(3) into a buffer of room bytes; bytes holds what the call reports it wrote.
Answer ask(const Number &mib, size_t room = 4096, const std::string *new_value = nullptr) {
    std::string buf(room, 0);
    size_t len = room;
    errno = 0;
    int rc = sysctl(mib.data(), static_cast<unsigned>(mib.size()), buf.data(), &len,
                    new_value ? new_value->data() : nullptr, new_value ? new_value->size() : 0);
    if (rc != 0)
        return {errno, buf.substr(0, std::min(len, room))};
    return {0, buf.substr(0, len)};
}

Number with(Number head, const Number &tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Number as_numbers(const std::string &bytes) {
    Number out(bytes.size() / sizeof(int));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(int));
    return out;
}

// The node's name with the unit for its "N".
std::string concrete(std::string_view pattern, int unit) {
    std::string out;
    for (size_t dot; ; pattern.remove_prefix(dot + 1)) {
        dot = pattern.find('.');
        std::string_view part = pattern.substr(0, dot);
        out += part == "N" ? std::to_string(unit) : std::string(part);
        if (dot == std::string_view::npos)
            return out;
        out += '.';
    }
}

struct Listed {
    Number number;
    std::string name;
    const SysctlNode *node;
};

// What sysctl -a must meet: every leaf and node with a handler of the table, a unit in its
// name once per CPU, ordered by number.
std::vector<Listed> listed_nodes() {
    std::vector<Listed> out;
    int cpus = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    for (const SysctlNode &node : sysctl_nodes()) {
        Number pattern(node.oid.name, node.oid.name + node.oid.len);
        bool has_unit = std::count(pattern.begin(), pattern.end(), SYSCTL_UNIT) > 0;
        for (int unit = 0; unit < (has_unit ? cpus : 1); ++unit) {
            Number n = pattern;
            std::replace(n.begin(), n.end(), SYSCTL_UNIT, unit);
            out.push_back({n, concrete(node.name, unit), &node});
        }
    }
    std::sort(out.begin(), out.end(), [](const Listed &a, const Listed &b) { return a.number < b.number; });
    return out;
}

}  // namespace

// From the start of the tree, {0,2} hands out every node once, in order, then ENOENT; each
// answers {0,1} with its name, {0,4} with its kind and format, and {0,3} turns the name back
// into the number. A leaf can be probed.
TEST(SysctlTreeWalk, EveryNodeOnceInOrderWithItsNameAndFormat) {
    std::vector<Listed> expected = listed_nodes();
    std::vector<Number> walked;
    Number at;
    for (size_t guard = 0; guard <= expected.size(); ++guard) {
        Answer next = ask(with({CTL_SYSCTL, CTL_SYSCTL_NEXT}, at));
        if (next.err != 0) {
            EXPECT_EQ(next.err, ENOENT);
            break;
        }
        at = as_numbers(next.bytes);
        walked.push_back(at);
    }
    ASSERT_EQ(walked.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Listed &e = expected[i];
        EXPECT_EQ(walked[i], e.number) << e.name;
        Answer name = ask(with({CTL_SYSCTL, CTL_SYSCTL_NAME}, e.number));
        EXPECT_EQ(name.err, 0) << e.name;
        EXPECT_EQ(name.bytes, e.name + '\0');
        Answer fmt = ask(with({CTL_SYSCTL, CTL_SYSCTL_OIDFMT}, e.number));
        ASSERT_EQ(fmt.err, 0) << e.name;
        u_int kind;
        std::memcpy(&kind, fmt.bytes.data(), sizeof(kind));
        EXPECT_EQ(kind, e.node->type.kind) << e.name;
        EXPECT_EQ(fmt.bytes.substr(sizeof(kind)), std::string(e.node->type.fmt) + '\0') << e.name;
        EXPECT_NE(kind & CTLFLAG_RD, 0u) << e.name;
        int mib[CTL_MAXNAME];
        size_t miblen = CTL_MAXNAME;
        ASSERT_EQ(sysctlnametomib(e.name.c_str(), mib, &miblen), 0) << e.name;
        EXPECT_EQ(Number(mib, mib + miblen), e.number) << e.name;
        if ((kind & CTLTYPE) != CTLTYPE_NODE) {
            size_t len = 0;
            int rc = sysctl(e.number.data(), static_cast<unsigned>(e.number.size()), nullptr, &len, nullptr, 0);
            // Hardware the host may lack (a battery, a frequency driver, a sensor) is ENOENT.
            EXPECT_TRUE(rc == 0 || errno == ENOENT) << e.name << ": " << std::strerror(errno);
        }
    }
}

// Every parent the names imply is a node without a handler: found by name and number, named,
// formatted "N", and EISDIR to read or write.
TEST(SysctlTreeWalk, ParentsAreNodesWithoutHandlers) {
    for (const char *name : {"kern", "kern.proc", "vm.stats.vm", "dev.cpu", "dev.cpu.0", "dev.cpu.0.coretemp", "net.local.stream", "sysctl"}) {
        int mib[CTL_MAXNAME];
        size_t miblen = CTL_MAXNAME;
        ASSERT_EQ(sysctlnametomib(name, mib, &miblen), 0) << name;
        Number number(mib, mib + miblen);
        EXPECT_EQ(ask(with({CTL_SYSCTL, CTL_SYSCTL_NAME}, number)).bytes, std::string(name) + '\0');
        Answer fmt = ask(with({CTL_SYSCTL, CTL_SYSCTL_OIDFMT}, number));
        ASSERT_EQ(fmt.err, 0) << name;
        EXPECT_EQ(fmt.bytes.substr(sizeof(u_int)), std::string("N") + '\0') << name;
        size_t len = 0;
        EXPECT_EQ(sysctlbyname(name, nullptr, &len, nullptr, 0), -1) << name;
        EXPECT_EQ(errno, EISDIR) << name;
        int value = 0;
        EXPECT_EQ(sysctlbyname(name, nullptr, nullptr, &value, sizeof(value)), -1) << name;
        EXPECT_EQ(errno, EISDIR) << name;
    }
}

// The answers FreeBSD's sysctl_find_oid(), sysctl_root(), userland_sysctl() and the handlers
// give to calls that cannot be served, and what the caller's buffer then holds.
TEST(SysctlTreeFailures, AsFreeBsdAnswersThem) {
    int argmax_mib[CTL_MAXNAME];
    size_t n = CTL_MAXNAME;
    ASSERT_EQ(sysctlnametomib("vm.swap_info", argmax_mib, &n), 0);
    Number swap_info(argmax_mib, argmax_mib + n);
    Number parent_of_pid = {CTL_KERN, KERN_PROC};
    std::string one = "1";
    struct Case {
        const char *what;
        Number mib;
        size_t room;
        const std::string *new_value;
        int err;
        size_t kept;  // with ENOMEM, the length reported; any other failure leaves it alone
    } cases[] = {
        {"unknown top level", {99, 1}, 64, nullptr, ENOENT, 0},
        {"unknown child", {CTL_KERN, KERN_PROC, 99}, 64, nullptr, ENOENT, 0},
        {"a parent", parent_of_pid, 64, nullptr, EISDIR, 0},
        {"a write to a parent", parent_of_pid, 0, &one, EISDIR, 0},
        {"numbers after a leaf", {CTL_KERN, KERN_ARGMAX, 0}, 64, nullptr, ENOTDIR, 0},
        {"a write after a leaf", {CTL_KERN, KERN_ARGMAX, 0}, 0, &one, ENOTDIR, 0},
        {"a write to a read-only leaf", {CTL_KERN, KERN_ARGMAX}, 0, &one, EPERM, 0},
        {"a write to a read-only handler", {CTL_KERN, KERN_PROC, KERN_PROC_PID, 1}, 0, &one, EPERM, 0},
        {"numbers after kern.proc.all", {CTL_KERN, KERN_PROC, KERN_PROC_ALL, 0}, 64, nullptr, ENOTDIR, 0},
        {"a pid missing", {CTL_KERN, KERN_PROC, KERN_PROC_PID}, 64, nullptr, EINVAL, 0},
        {"a pid too many", {CTL_KERN, KERN_PROC, KERN_PROC_PID, 1, 1}, 64, nullptr, EINVAL, 0},
        {"no such process", {CTL_KERN, KERN_PROC, KERN_PROC_PID, test_support::absent_pid()}, 2048, nullptr, ESRCH, 0},
        {"a short buffer", {CTL_KERN, KERN_ARGMAX}, 2, nullptr, ENOMEM, 2},
        {"a swap device missing", swap_info, 64, nullptr, EINVAL, 0},
        {"past the last swap device", with(swap_info, {1 << 20}), 64, nullptr, ENOENT, 0},
        {"a negative swap device", with(swap_info, {-1}), 64, nullptr, ENOENT, 0},
        {"a swap device too many", with(swap_info, {0, 0}), 64, nullptr, EINVAL, 0},
        {"{0,4} of an unknown node", {CTL_SYSCTL, CTL_SYSCTL_OIDFMT, 99}, 64, nullptr, ENOENT, 0},
        {"{0,4} after a leaf", {CTL_SYSCTL, CTL_SYSCTL_OIDFMT, CTL_KERN, KERN_ARGMAX, 5}, 64, nullptr, ENOTDIR, 0},
        {"{0,2} past the last node", {CTL_SYSCTL, CTL_SYSCTL_NEXT, 0x7fffffff}, 64, nullptr, ENOENT, 0},
        {"{0,1} into a short buffer", {CTL_SYSCTL, CTL_SYSCTL_NAME, CTL_KERN, KERN_ARGMAX}, 4, nullptr, ENOMEM, 4},
        {"{0,3} without a name", {CTL_SYSCTL, CTL_SYSCTL_NAME2OID}, 64, nullptr, ENOENT, 0},
    };
    for (const Case &c : cases) {
        Answer a = ask(c.mib, c.room, c.new_value);
        EXPECT_EQ(a.err, c.err) << c.what;
        EXPECT_EQ(a.bytes.size(), c.err == ENOMEM ? c.kept : c.room) << c.what;
    }

    // A buffer without a length holds nothing: ENOMEM as soon as the node has a value.
    int value = 0;
    int mib[] = {CTL_KERN, KERN_ARGMAX};
    EXPECT_EQ(sysctl(mib, 2, &value, nullptr, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
}

// {0,1} names what it finds and writes the rest in decimal; {0,3} resolves parents and a
// trailing dot, and nothing below a leaf.
TEST(SysctlTreeFailures, NamesAndNumbers) {
    struct Named {
        Number oid;
        std::string name;
    } named[] = {
        {{CTL_KERN, KERN_PROC, KERN_PROC_PID, 123}, "kern.proc.pid.123"},
        {{CTL_KERN, 9999}, "kern.9999"},
        {{CTL_KERN, KERN_ARGMAX, 7}, "kern.argmax.7"},
        {{}, ""},
    };
    for (const Named &c : named)
        EXPECT_EQ(ask(with({CTL_SYSCTL, CTL_SYSCTL_NAME}, c.oid)).bytes, c.name + '\0') << c.name;

    struct Resolved {
        std::string name;
        int err;
        Number number;
    } resolved[] = {
        {"kern.proc", 0, {CTL_KERN, KERN_PROC}},
        {"kern.proc.", 0, {CTL_KERN, KERN_PROC}},
        {"kern", 0, {CTL_KERN}},
        {"kern.proc.pid.1", ENOENT, {}},
        {"kern..argmax", ENOENT, {}},
        {"kern.proc..", ENOENT, {}},
        {".", ENOENT, {}},
        {std::string(1023, 'k'), ENOENT, {}},
        {std::string(1024, 'k'), ENAMETOOLONG, {}},  // FreeBSD's MAXPATHLEN
    };
    for (const Resolved &c : resolved) {
        Answer a = ask({CTL_SYSCTL, CTL_SYSCTL_NAME2OID}, 64, &c.name);
        EXPECT_EQ(a.err, c.err) << c.name.substr(0, 20);
        if (c.err == 0)
            EXPECT_EQ(as_numbers(a.bytes), c.number) << c.name;
    }

    // sysctlnametomib with too little room fills the room, fails ENOMEM and keeps the room.
    int mib[2] = {-1, -1};
    size_t room = 2;
    EXPECT_EQ(sysctlnametomib("kern.proc.pid", mib, &room), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(room, 2u);
    EXPECT_EQ(Number(mib, mib + 2), Number({CTL_KERN, KERN_PROC}));
}
