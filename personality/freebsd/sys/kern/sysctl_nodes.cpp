#include "freebsd/sys/kern/kern_sysctl.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/sysctl.h>
#include <vm/vm_param.h>

#include <climits>
#include <cstring>
#include <string_view>

#include "freebsd/sys/dev/acpica/acpi_battery.h"
#include "freebsd/sys/dev/coretemp/coretemp.h"
#include "freebsd/sys/kern/subr_devstat.h"
#include "freebsd/sys/kern/kern_cpu.h"
#include "freebsd/sys/kern/kern_mib.h"
#include "freebsd/sys/kern/kern_clock.h"
#include "freebsd/sys/kern/kern_proc.h"
#include "freebsd/sys/vm/vm_meter.h"
#include "freebsd/sys/net/rtsock.h"
#include "freebsd/sys/kern/kern_descrip.h"
#include "freebsd/sys/netinet/in_pcb.h"

// Every node the personality answers. Add a node here, with its reader in the unit of its area.
static const SysctlNode nodes[] = {
    {"kern.argmax", {CTL_KERN, KERN_ARGMAX}, 2, kern_argmax, nullptr},
    {"kern.proc.all", {CTL_KERN, KERN_PROC, KERN_PROC_ALL}, 3, kern_proc_all, nullptr},
    {"kern.proc.pid", {CTL_KERN, KERN_PROC, KERN_PROC_PID}, 3, kern_proc_pid, nullptr},
    {"kern.proc.proc", {CTL_KERN, KERN_PROC, KERN_PROC_PROC}, 3, kern_proc_proc, nullptr},
    {"kern.proc.pid_td", {CTL_KERN, KERN_PROC, KERN_PROC_PID | KERN_PROC_INC_THREAD}, 3, kern_proc_pid_td, nullptr},
    {"kern.proc.args", {CTL_KERN, KERN_PROC, KERN_PROC_ARGS}, 3, kern_proc_args, nullptr},
    {"kern.proc.pathname", {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME}, 3, kern_proc_pathname, nullptr},
    {"kern.proc.rlimit", {CTL_KERN, KERN_PROC, KERN_PROC_RLIMIT}, 3, kern_proc_rlimit, kern_proc_rlimit_set},
    // Disks, batteries, boot; FreeBSD numbers kern.devstat and hw.acpi at boot.
    {"kern.boottime", {CTL_KERN, KERN_BOOTTIME}, 2, kern_boottime, nullptr},
    {"kern.devstat.numdevs", {CTL_KERN, oid_auto(16), oid_auto(0)}, 3, kern_devstat_numdevs, nullptr},
    {"kern.devstat.generation", {CTL_KERN, oid_auto(16), oid_auto(1)}, 3, kern_devstat_generation, nullptr},
    {"kern.devstat.version", {CTL_KERN, oid_auto(16), oid_auto(2)}, 3, kern_devstat_version, nullptr},
    {"kern.devstat.all", {CTL_KERN, oid_auto(16), oid_auto(3)}, 3, kern_devstat_all, nullptr},
    {"hw.acpi.acline", {CTL_HW, oid_auto(16), oid_auto(0)}, 3, hw_acpi_acline, nullptr},
    {"hw.acpi.battery.life", {CTL_HW, oid_auto(16), oid_auto(1), oid_auto(0)}, 4, hw_acpi_battery_life, nullptr},
    {"hw.acpi.battery.time", {CTL_HW, oid_auto(16), oid_auto(1), oid_auto(1)}, 4, hw_acpi_battery_time, nullptr},
    // CPUs and memory; FreeBSD numbers kern.cp_time, the sched, stats and vfs nodes at boot.
    {"hw.ncpu", {CTL_HW, HW_NCPU}, 2, hw_ncpu, nullptr},
    {"hw.physmem", {CTL_HW, HW_PHYSMEM}, 2, hw_physmem, nullptr},
    {"kern.cp_time", {CTL_KERN, oid_auto(0)}, 2, kern_cp_time, nullptr},
    {"kern.cp_times", {CTL_KERN, oid_auto(1)}, 2, kern_cp_times, nullptr},
    {"kern.sched.topology_spec", {CTL_KERN, oid_auto(2), oid_auto(0)}, 3, kern_sched_topology_spec, nullptr},
    {"vm.vmtotal", {CTL_VM, VM_TOTAL}, 2, vm_vmtotal, nullptr},
    {"vm.stats.sys.v_swtch", {CTL_VM, oid_auto(0), oid_auto(0), oid_auto(0)}, 4, vm_stats_sys_v_swtch, nullptr},
    {"vm.stats.sys.v_intr", {CTL_VM, oid_auto(0), oid_auto(0), oid_auto(1)}, 4, vm_stats_sys_v_intr, nullptr},
    {"vm.stats.sys.v_soft", {CTL_VM, oid_auto(0), oid_auto(0), oid_auto(2)}, 4, vm_stats_sys_v_soft, nullptr},
    {"vm.stats.sys.v_syscall", {CTL_VM, oid_auto(0), oid_auto(0), oid_auto(3)}, 4, vm_stats_sys_v_syscall, nullptr},
    {"vm.stats.sys.v_trap", {CTL_VM, oid_auto(0), oid_auto(0), oid_auto(4)}, 4, vm_stats_sys_v_trap, nullptr},
    {"vm.stats.vm.v_page_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(0)}, 4, vm_stats_vm_v_page_count, nullptr},
    {"vm.stats.vm.v_free_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(1)}, 4, vm_stats_vm_v_free_count, nullptr},
    {"vm.stats.vm.v_active_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(2)}, 4, vm_stats_vm_v_active_count,
     nullptr},
    {"vm.stats.vm.v_inactive_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(3)}, 4,
     vm_stats_vm_v_inactive_count, nullptr},
    {"vm.stats.vm.v_wire_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(4)}, 4, vm_stats_vm_v_wire_count, nullptr},
    {"vm.stats.vm.v_cache_count", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(5)}, 4, vm_stats_vm_v_cache_count,
     nullptr},
    {"vm.stats.vm.v_swapin", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(6)}, 4, vm_stats_vm_v_swapin, nullptr},
    {"vm.stats.vm.v_swapout", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(7)}, 4, vm_stats_vm_v_swapout, nullptr},
    {"vm.stats.vm.v_vnodein", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(8)}, 4, vm_stats_vm_v_vnodein, nullptr},
    {"vm.stats.vm.v_vnodeout", {CTL_VM, oid_auto(0), oid_auto(1), oid_auto(9)}, 4, vm_stats_vm_v_vnodeout, nullptr},
    {"vfs.bufspace", {CTL_VFS, oid_auto(0)}, 2, vfs_bufspace, nullptr},
    // dev.cpu.N.*: dev and cpu are numbered by FreeBSD at boot, the unit is the CPU.
    {"dev.cpu.N.freq", {oid_auto(0), oid_auto(0), SYSCTL_UNIT, oid_auto(0)}, 4, dev_cpu_freq, nullptr},
    {"dev.cpu.N.freq_levels", {oid_auto(0), oid_auto(0), SYSCTL_UNIT, oid_auto(1)}, 4, dev_cpu_freq_levels, nullptr},
    {"dev.cpu.N.temperature", {oid_auto(0), oid_auto(0), SYSCTL_UNIT, oid_auto(16)}, 4, dev_cpu_temperature, nullptr},
    {"dev.cpu.N.coretemp.tjmax", {oid_auto(0), oid_auto(0), SYSCTL_UNIT, oid_auto(17), oid_auto(0)}, 5,
     dev_cpu_coretemp_tjmax, nullptr},
    {"net.route", {CTL_NET, PF_ROUTE}, 2, net_route, nullptr},
    {"kern.file", {CTL_KERN, KERN_FILE}, 2, kern_file, nullptr},
    {"net.inet.tcp.pcblist", {CTL_NET, PF_INET, IPPROTO_TCP, kTcpctlPcblist}, 4, net_inet_tcp_pcblist, nullptr},
    {"net.inet.udp.pcblist", {CTL_NET, PF_INET, IPPROTO_UDP, kUdpctlPcblist}, 4, net_inet_udp_pcblist, nullptr},
    {"net.local.stream.pcblist", {CTL_NET, PF_LOCAL, SOCK_STREAM, oid_auto(0)}, 4, net_local_stream_pcblist, nullptr},
    {"net.local.dgram.pcblist", {CTL_NET, PF_LOCAL, SOCK_DGRAM, oid_auto(0)}, 4, net_local_dgram_pcblist, nullptr},
    {"net.local.seqpacket.pcblist", {CTL_NET, PF_LOCAL, SOCK_SEQPACKET, oid_auto(0)}, 4, net_local_seqpacket_pcblist,
     nullptr},
};

std::span<const SysctlNode> sysctl_nodes() { return nodes; }

static int unit_index(const SysctlNode &node) {
    for (unsigned i = 0; i < node.miblen; ++i)
        if (node.mib[i] == SYSCTL_UNIT)
            return static_cast<int>(i);
    return -1;
}

bool sysctl_find(const int *mib, unsigned miblen, SysctlMatch &out) {
    if (miblen > CTL_MAXNAME)
        return false;
    const SysctlNode *found = nullptr;
    for (const SysctlNode &node : nodes) {
        if (node.miblen > miblen || (found != nullptr && node.miblen <= found->miblen))
            continue;
        bool match = true;
        for (unsigned i = 0; i < node.miblen && match; ++i)
            match = node.mib[i] == SYSCTL_UNIT ? mib[i] >= 0 : node.mib[i] == mib[i];
        if (match)
            found = &node;
    }
    if (found == nullptr)
        return false;
    out = {};
    out.node = found;
    int unit = unit_index(*found);
    if (unit >= 0) {
        out.args[out.nargs++] = mib[unit];
        out.has_unit = true;
    }
    for (unsigned i = found->miblen; i < miblen; ++i)
        out.args[out.nargs++] = mib[i];
    return true;
}

// A unit as FreeBSD names it: decimal digits without a sign or a leading zero, within an int.
static bool parse_unit(std::string_view text, int &unit) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX)
        return false;
    unit = static_cast<int>(value);
    return true;
}

// Whether name is the node's name with a unit for its "N" component; the unit goes to unit.
static bool name_matches(std::string_view pattern, std::string_view name, int &unit) {
    while (true) {
        size_t pdot = pattern.find('.'), ndot = name.find('.');
        std::string_view pc = pattern.substr(0, pdot), nc = name.substr(0, ndot);
        if (pc == SYSCTL_UNIT_NAME ? !parse_unit(nc, unit) : pc != nc)
            return false;
        if (pdot == std::string_view::npos || ndot == std::string_view::npos)
            return pdot == ndot;
        pattern.remove_prefix(pdot + 1);
        name.remove_prefix(ndot + 1);
    }
}

bool sysctl_find(const char *name, SysctlMatch &out) {
    for (const SysctlNode &node : nodes) {
        int unit = -1;
        if (!name_matches(node.name, name, unit))
            continue;
        out = {};
        out.node = &node;
        if (unit >= 0) {
            out.args[out.nargs++] = unit;
            out.has_unit = true;
        }
        return true;
    }
    return false;
}

unsigned sysctl_number(const SysctlMatch &match, int out[SYSCTL_NODE_MAXNAME]) {
    const SysctlNode &node = *match.node;
    for (unsigned i = 0; i < node.miblen; ++i)
        out[i] = node.mib[i] == SYSCTL_UNIT ? match.args[0] : node.mib[i];
    return node.miblen;
}

std::string sysctl_concrete_name(const SysctlMatch &match) {
    std::string_view pattern = match.node->name;
    if (!match.has_unit)
        return std::string(pattern);
    std::string name;
    while (true) {
        size_t dot = pattern.find('.');
        std::string_view component = pattern.substr(0, dot);
        if (component == SYSCTL_UNIT_NAME)
            name += std::to_string(match.args[0]);
        else
            name += component;
        if (dot == std::string_view::npos)
            return name;
        name += '.';
        pattern.remove_prefix(dot + 1);
    }
}
