// FreeBSD's kinfo_getvmmap(3): a process's memory map as FreeBSD's unpacked records, built
// from the host's /proc/PID/smaps.
#include <libutil.h>
#include <sys/user.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "freebsd/c_interface.h"
#include "linux/procfs/maps.h"
#include "freebsd/lib/libutil/kinfo_getvmmap_conversions.h"
#include "freebsd/lib/libutil/libutil_records.h"

using namespace libutil;

namespace getvmmap {

// Named mappings to FreeBSD's object types; the first matching prefix wins.
struct NamedMapping {
    std::string_view prefix;
    int type;
};
constexpr NamedMapping kNamedMappings[] = {
    {"[vdso]", KVME_TYPE_PHYS},  // FreeBSD's shared page is a physical object
    {"[vvar", KVME_TYPE_PHYS},   // [vvar] and [vvar_vclock]
    {"[vsyscall]", KVME_TYPE_PHYS},
    {"/memfd:", KVME_TYPE_SWAP},     // shared memory: FreeBSD backs it with swap objects
    {"/SYSV", KVME_TYPE_SWAP},       // System V shared memory
    {"/dev/zero", KVME_TYPE_SWAP},   // shared anonymous memory
    {"/dev/shm/", KVME_TYPE_VNODE},  // POSIX shared memory: files on this host
    {"/dev/", KVME_TYPE_DEVICE},
};

int linux_mapping_to_kvme_type(const host::MapEntry &e) {
    for (const NamedMapping &m : kNamedMappings)
        if (e.name.starts_with(m.prefix))
            return m.type;
    if (e.inode != 0 && e.name.starts_with('/'))
        return KVME_TYPE_VNODE;
    if (!e.read && !e.write && !e.exec)
        return KVME_TYPE_GUARD;  // reserved, inaccessible address space
    return KVME_TYPE_DEFAULT;    // anonymous memory: [heap], [stack], [anon:NAME], ...
}

struct Protection {
    bool host::MapEntry::*linux_bit;
    int protection;
};
constexpr Protection kProtections[] = {
    {&host::MapEntry::read, KVME_PROT_READ},
    {&host::MapEntry::write, KVME_PROT_WRITE},
    {&host::MapEntry::exec, KVME_PROT_EXEC},
};

// Linux's VmFlags mnemonics to FreeBSD's entry flags.
struct VmFlag {
    std::string_view mnemonic;
    int flag;
};
constexpr VmFlag kVmFlags[] = {
    {"gd", KVME_FLAG_GROWS_DOWN},
    {"dd", KVME_FLAG_NOCOREDUMP},
    {"lo", KVME_FLAG_USER_WIRED},  // mlock(2)ed
};

int linux_vm_flags_to_freebsd(std::string_view vm_flags) {
    int flags = 0;
    for (size_t at = 0; at + 2 <= vm_flags.size(); at += 3)  // "rd wr mr ..."
        for (const VmFlag &f : kVmFlags)
            if (vm_flags.substr(at, 2) == f.mnemonic)
                flags |= f.flag;
    return flags;
}

void fill_mapping(const host::MapEntry &e, uint64_t page_size, struct kinfo_vmentry &kve) {
    kve.kve_structsize = sizeof(kve);
    kve.kve_type = linux_mapping_to_kvme_type(e);
    kve.kve_start = e.start;
    kve.kve_end = e.end;
    kve.kve_offset = e.offset;
    for (const Protection &p : kProtections)
        if (e.*p.linux_bit)
            kve.kve_protection |= p.protection;
    kve.kve_resident = static_cast<int>(e.rss_kb * 1024 / page_size);
    kve.kve_private_resident = static_cast<int>((e.private_clean_kb + e.private_dirty_kb) * 1024 / page_size);
    kve.kve_flags = linux_vm_flags_to_freebsd(e.vm_flags);
    if (e.name == "[stack]")
        kve.kve_flags |= KVME_FLAG_GROWS_DOWN;
    if (kve.kve_type == KVME_TYPE_VNODE && !e.shared && e.write)
        kve.kve_flags |= KVME_FLAG_COW;
    if (kve.kve_type == KVME_TYPE_VNODE || kve.kve_type == KVME_TYPE_DEVICE) {
        kve.kve_vn_type = kve.kve_type == KVME_TYPE_VNODE ? KF_VTYPE_VREG : KF_VTYPE_VCHR;
        kve.kve_vn_fileid = e.inode;
        kve.kve_vn_fsid = e.dev;
        kve.kve_vn_fsid_freebsd11 = static_cast<uint32_t>(e.dev);
        if (!e.deleted)
            copy_path(kve.kve_path, e.name);
    }
}

}  // namespace getvmmap

using namespace getvmmap;

struct kinfo_vmentry *kinfo_getvmmap(pid_t pid, int *cntp) {
    return without_exceptions<struct kinfo_vmentry *>(nullptr, [&]() -> struct kinfo_vmentry * {
        if (std::optional<struct kinfo_vmentry *> answer = overridden<struct kinfo_vmentry>("kinfo_getvmmap", pid, cntp))
            return *answer;
        host::MemoryMap map;
        if (read_live_process(host::read_memory_map, pid, map) != 0)
            return nullptr;
        RecordArray<struct kinfo_vmentry> records = allocate_records<struct kinfo_vmentry>(map.entries.size());
        if (!records) {
            errno = ENOMEM;
            return nullptr;
        }
        const uint64_t page_size = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        for (size_t i = 0; i < map.entries.size(); ++i)
            fill_mapping(map.entries[i], page_size, records[i]);
        return hand_over(std::move(records), map.entries.size(), cntp);
    });
}
