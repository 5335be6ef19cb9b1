// kern.sched.topology_spec: the scheduler's CPU groups in the XML of FreeBSD's
// sysctl_kern_sched_topology_spec() (sched_ule.c), built from the host's CPU topology; and
// kern.ccpu, the constant ULE exports for ps(1).
#include "freebsd/sys/kern/sched_ule.h"

#include <sys/param.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

using host::CpuSharing;
using host::CpuSet;

}  // namespace

namespace {

// Flags of a CPU group, and how sched_ule(4) names them.
constexpr int CG_FLAG_HTT = 0x01, CG_FLAG_SMT = 0x02, CG_FLAG_THREAD = CG_FLAG_HTT | CG_FLAG_SMT, CG_FLAG_NODE = 0x04;
constexpr struct {
    int mask;
    const char *xml;
} kFlagNames[] = {
    {CG_FLAG_HTT, "<flag name=\"HTT\">HTT group</flag>"},
    {CG_FLAG_THREAD, "<flag name=\"THREAD\">THREAD group</flag>"},
    {CG_FLAG_SMT, "<flag name=\"SMT\">SMT group</flag>"},
    {CG_FLAG_NODE, "<flag name=\"NODE\">NUMA node</flag>"},
};

// The ways CPUs share, from the outside in: the cache level a group of them shares (0: none).
constexpr struct {
    int cache_level;
    CpuSet CpuSharing::*set;
    int cache_index;  // into CpuSharing::cache, or -1 for `set`
} kSharing[] = {
    {0, &CpuSharing::package, -1},
    {3, nullptr, 3},
    {2, nullptr, 2},
    {1, &CpuSharing::threads, -1},
};

CpuSet shared_set(const CpuSharing &place, size_t level) {
    const auto &s = kSharing[level];
    return s.set != nullptr ? place.*s.set : place.cache[s.cache_index];
}

struct Group {
    CpuSet cpus;
    int cache_level = 0;
    int flags = 0;
    std::vector<Group> children;
};

class GroupBuilder {
public:
    explicit GroupBuilder(const std::vector<CpuSharing> &places) : places_(places) {}

    // The group of these CPUs, its children found from sharing level `from` inwards.
    Group build(const CpuSet &cpus, size_t from) const {
        Group g;
        g.cpus = cpus;
        for (size_t level = 0; level < std::size(kSharing); ++level)
            for (const CpuSharing &p : places_)
                if (cpus.test(p.cpu) && shared_set(p, level) == cpus) {
                    g.cache_level = std::max(g.cache_level, kSharing[level].cache_level);
                    if (kSharing[level].set == &CpuSharing::threads && cpus.count() > 1)
                        g.flags |= CG_FLAG_SMT;
                }
        for (size_t level = from; level < std::size(kSharing); ++level) {
            std::vector<CpuSet> parts = partition(cpus, level);
            if (parts.size() < 2)
                continue;
            for (const CpuSet &part : parts)
                if (part.count() > 1)
                    g.children.push_back(build(part, level + 1));
            break;
        }
        return g;
    }

private:
    // The CPUs split by what they share at this level; a CPU that does not know stays whole.
    std::vector<CpuSet> partition(const CpuSet &cpus, size_t level) const {
        std::vector<CpuSet> parts;
        CpuSet left = cpus;
        for (const CpuSharing &p : places_) {
            if (!left.test(p.cpu))
                continue;
            CpuSet shared = shared_set(p, level);
            CpuSet part = (shared.none() ? cpus : shared) & left;
            part.set(p.cpu);
            parts.push_back(part);
            left &= ~part;
        }
        return parts;
    }

    const std::vector<CpuSharing> &places_;
};

// cpusetobj_strprint(9): every word of the set, lowest first, in hex.
void append_mask(std::string &out, const CpuSet &cpus) {
    constexpr int kWordBits = 64;
    for (int word = 0; word < host::kMaxCpus / kWordBits; ++word) {
        unsigned long bits = 0;
        for (int bit = 0; bit < kWordBits; ++bit)
            if (cpus.test(word * kWordBits + bit))
                bits |= 1UL << bit;
        char hex[24];
        std::snprintf(hex, sizeof(hex), word == 0 ? "%lx" : ",%lx", bits);
        out += hex;
    }
}

void append_group(std::string &out, const Group &g, int indent) {
    std::string pad(static_cast<size_t>(indent), ' ');
    out += pad + "<group level=\"" + std::to_string(1 + indent / 2) + "\" cache-level=\"" +
           std::to_string(g.cache_level) + "\">\n";
    out += pad + " <cpu count=\"" + std::to_string(g.cpus.count()) + "\" mask=\"";
    append_mask(out, g.cpus);
    out += "\">";
    const char *sep = "";
    for (int cpu = 0; cpu < host::kMaxCpus; ++cpu)
        if (g.cpus.test(cpu)) {
            out += sep + std::to_string(cpu);
            sep = ", ";
        }
    out += "</cpu>\n";
    if (g.flags != 0) {
        out += pad + " <flags>";
        for (const auto &f : kFlagNames)
            if ((g.flags & f.mask) != 0)
                out += f.xml;
        out += "</flags>\n";
    }
    if (!g.children.empty()) {
        out += pad + " <children>\n";
        for (const Group &child : g.children)
            append_group(out, child, indent + 2);
        out += pad + " </children>\n";
    }
    out += pad + "</group>\n";
}

}  // namespace

std::string freebsd_topology_spec(const std::vector<CpuSharing> &places) {
    CpuSet all;
    for (const CpuSharing &p : places)
        all.set(p.cpu);
    std::string out = "<groups>\n";
    append_group(out, GroupBuilder(places).build(all, 0), 1);
    return out + "</groups>\n";
}

// A host that shows no topology gets one group of its online CPUs.
int kern_sched_topology_spec(std::string &text) {
    std::vector<CpuSharing> places;
    if (host::read_cpu_topology(places) != 0) {
        places.clear();
        long n = sysconf(_SC_NPROCESSORS_ONLN);
        for (int cpu = 0; cpu < n && cpu < host::kMaxCpus; ++cpu) {
            CpuSharing place;
            place.cpu = cpu;
            places.push_back(place);
        }
    }
    text = freebsd_topology_spec(places);
    return 0;
}

// ULE's fixed-point exp(-1/20), truncated as the kernel's initializer truncates it: 1948.
int kern_ccpu(u_int &ccpu) {
    ccpu = static_cast<u_int>(0.95122942450071400909 * FSCALE);
    return 0;
}
