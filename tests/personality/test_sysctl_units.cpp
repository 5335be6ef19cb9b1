// Nodes with a unit inside their name ("dev.cpu.N.freq"): found by name and by number, the
// number learnt by sysctlnametomib as FreeBSD callers learn it, and the tree's numbering kept
// consistent with its names.
#include <sys/sysctl.h>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "freebsd/sys/kern/kern_sysctl.h"

extern "C" {
void lumvik_control_answer(const char *key, const void *bytes, size_t len);
void lumvik_control_clear(const char *key);
}

namespace {

struct Read {
    int err;
    int value;
};

Read by_name(const char *name) {
    int value = 0;
    size_t len = sizeof(value);
    errno = 0;
    int rc = sysctlbyname(name, &value, &len, nullptr, 0);
    return {rc == 0 ? 0 : errno, value};
}

Read by_number(const char *name) {
    int mib[CTL_MAXNAME];
    size_t miblen = CTL_MAXNAME;
    if (sysctlnametomib(name, mib, &miblen) != 0)
        return {errno, 0};
    int value = 0;
    size_t len = sizeof(value);
    int rc = sysctl(mib, static_cast<unsigned>(miblen), &value, &len, nullptr, 0);
    return {rc == 0 ? 0 : errno, value};
}

class SysctlUnits : public ::testing::Test {
protected:
    void TearDown() override { lumvik_control_clear(nullptr); }
    static void answer(const char *key, int value) { lumvik_control_answer(key, &value, sizeof(value)); }
};

}  // namespace

// Two nodes that share the first k components of their names share the first k numbers, and
// only those: a number given twice among siblings would send a caller to the wrong node.
TEST(SysctlTree, NumbersFollowNames) {
    auto components = [](std::string_view name) {
        std::vector<std::string_view> out;
        for (size_t dot; (dot = name.find('.')) != std::string_view::npos; name.remove_prefix(dot + 1))
            out.push_back(name.substr(0, dot));
        out.push_back(name);
        return out;
    };
    for (const SysctlNode &a : sysctl_nodes())
        for (const SysctlNode &b : sysctl_nodes()) {
            auto na = components(a.name), nb = components(b.name);
            ASSERT_EQ(na.size(), a.oid.len) << a.name;
            for (unsigned i = 0; i < std::min(a.oid.len, b.oid.len); ++i) {
                EXPECT_EQ(na[i] == nb[i], a.oid.name[i] == b.oid.name[i]) << a.name << " and " << b.name << " at " << i;
                if (na[i] != nb[i])
                    break;
            }
        }
}

TEST_F(SysctlUnits, NamesWithAUnit) {
    answer("dev.cpu.N.freq", 1500);
    answer("dev.cpu.7.freq", 2400);  // one unit's override wins over every unit's
    struct Case {
        const char *name;
        int err, value;
    } cases[] = {
        {"dev.cpu.0.freq", 0, 1500},
        {"dev.cpu.7.freq", 0, 2400},
        {"dev.cpu.2147483647.freq", 0, 1500},
        {"dev.cpu.N.freq", ENOENT, 0},  // the placeholder is not a unit
        {"dev.cpu.07.freq", ENOENT, 0},
        {"dev.cpu.-1.freq", ENOENT, 0},
        {"dev.cpu.+1.freq", ENOENT, 0},
        {"dev.cpu.2147483648.freq", ENOENT, 0},
        {"dev.cpu..freq", ENOENT, 0},
        {"dev.cpu.0", EISDIR, 0},  // a parent
        {"dev.cpu.0.fre", ENOENT, 0},
        {"dev.cpu.0.freq.1", ENOENT, 0},
    };
    for (const Case &c : cases) {
        for (Read r : {by_name(c.name), by_number(c.name)}) {
            EXPECT_EQ(r.err, c.err) << c.name;
            EXPECT_EQ(r.value, c.value) << c.name;
        }
    }
}

TEST_F(SysctlUnits, NumberOfANodeWithAUnit) {
    int mib[CTL_MAXNAME];
    size_t len = CTL_MAXNAME;
    ASSERT_EQ(sysctlnametomib("dev.cpu.5.freq_levels", mib, &len), 0);
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(mib[2], 5);
    answer("dev.cpu.5.freq_levels", 42);
    int value = 0;
    size_t vlen = sizeof(value);
    ASSERT_EQ(sysctl(mib, 4, &value, &vlen, nullptr, 0), 0);
    EXPECT_EQ(value, 42);
    lumvik_control_clear(nullptr);
    mib[4] = 0;  // a number after a leaf
    vlen = sizeof(value);
    EXPECT_EQ(sysctl(mib, 5, &value, &vlen, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOTDIR);

    len = 3;  // no room for the whole number
    EXPECT_EQ(sysctlnametomib("dev.cpu.5.freq_levels", mib, &len), -1);
    EXPECT_EQ(errno, ENOMEM);
}

// personality/MAPPING.md's table of node numbers and the tree say the same: every node with its
// number and the count of arguments a call may add (a bracketed one is optional, "[a number]"
// any number; a unit in the name comes first and is not listed).
TEST(SysctlTree, MappingListsEveryNode) {
    int fd = open(LUMVIK_MAPPING_MD, O_RDONLY);
    ASSERT_GE(fd, 0) << LUMVIK_MAPPING_MD;
    std::string text;
    char chunk[8192];
    for (ssize_t n; (n = read(fd, chunk, sizeof(chunk))) > 0;)
        text.append(chunk, static_cast<size_t>(n));
    close(fd);

    struct Row {
        std::vector<int> number;
        unsigned min_args = 0, max_args = 0;
    };
    std::map<std::string, Row> rows;
    auto cells = [](std::string_view line) {
        std::vector<std::string> out;
        for (size_t bar; (bar = line.find('|')) != std::string_view::npos; line.remove_prefix(bar + 1)) {
            std::string_view cell = line.substr(0, bar);
            while (!cell.empty() && cell.front() == ' ')
                cell.remove_prefix(1);
            while (!cell.empty() && cell.back() == ' ')
                cell.remove_suffix(1);
            out.emplace_back(cell);
        }
        return out;
    };
    std::string_view rest = text;
    rest.remove_prefix(rest.find("## Node numbers"));
    rest = rest.substr(0, rest.find("\n## ", 1));
    for (size_t eol; (eol = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(eol + 1)) {
        std::vector<std::string> c = cells(rest.substr(0, eol));
        if (c.size() != 5 || !c[1].starts_with('`'))
            continue;
        Row row;
        std::string parts = c[2].substr(1, c[2].size() - 2);  // inside the braces
        for (char *save = nullptr, *p = strtok_r(parts.data(), ", ", &save); p; p = strtok_r(nullptr, ", ", &save))
            row.number.push_back(std::string_view(p) == "N" ? SYSCTL_UNIT : static_cast<int>(std::strtol(p, nullptr, 0)));
        if (c[3] != "none")
            for (std::string_view args = c[3]; !args.empty();) {
                size_t comma = args.find(", ");
                std::string_view arg = args.substr(0, comma);
                row.min_args += arg.starts_with('[') ? 0 : 1;
                row.max_args += arg == "[a number]" ? CTL_MAXNAME - 2 : 1;
                args = comma == std::string_view::npos ? "" : args.substr(comma + 2);
            }
        rows[c[1].substr(1, c[1].size() - 2)] = row;
    }

    EXPECT_EQ(rows.size(), sysctl_nodes().size());
    for (const SysctlNode &node : sysctl_nodes()) {
        auto it = rows.find(node.name);
        ASSERT_NE(it, rows.end()) << node.name << " is not in MAPPING.md";
        EXPECT_EQ(it->second.number, std::vector<int>(node.oid.name, node.oid.name + node.oid.len)) << node.name;
        unsigned unit = std::string_view(node.name).find(".N.") != std::string_view::npos ? 1 : 0;
        EXPECT_EQ(it->second.min_args + unit, node.arity.min) << node.name;
        EXPECT_EQ(it->second.max_args + unit, node.arity.max) << node.name;
    }
}
