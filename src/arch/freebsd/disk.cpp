// Storage: the mount table through getfsstat(2), the device statistics through libdevstat.
#include "arch/freebsd/disk.h"

#include <sys/param.h>
#include <sys/mount.h>

#include <devstat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/str.h"

namespace {

// Option words in the order mount(8) lists them, which is not the order of the bits.
constexpr struct {
    uint64_t flag;
    const char *word;
} option_words[] = {
    {MNT_SYNCHRONOUS, ",sync"},   {MNT_NOEXEC, ",noexec"},         {MNT_NOSUID, ",nosuid"},
    {MNT_ASYNC, ",async"},        {MNT_NOATIME, ",noatime"},       {MNT_SOFTDEP, ",softdep"},
    {MNT_UNION, ",union"},        {MNT_SUIDDIR, ",suiddir"},       {MNT_NOSYMFOLLOW, ",nosymfollow"},
    {MNT_GJOURNAL, ",gjournal"},  {MNT_MULTILABEL, ",multilabel"}, {MNT_ACLS, ",acls"},
    {MNT_NOCLUSTERR, ",noclusterr"}, {MNT_NOCLUSTERW, ",noclusterw"}, {MNT_NFS4ACLS, ",nfs4acls"},
};

void option_text(uint64_t flags, char (&text)[200]) {
    uint32_t low = static_cast<uint32_t>(flags);  // only the classic flags have words
    text[0] = '\0';
    str_append(text, sizeof(text), (low & MNT_RDONLY) ? "ro" : "rw");
    for (const auto &o : option_words)
        if (low & o.flag)
            str_append(text, sizeof(text), o.word);
}

// A name field decoded up to its NUL or its end, whatever the kernel left in it.
template <size_t N>
PyObject *decode_name(const char (&name)[N]) {
    return PyUnicode_DecodeFSDefaultAndSize(name, static_cast<Py_ssize_t>(strnlen(name, N)));
}

// getfsstat with the thread state released: the kernel copies the table meanwhile.
int mount_table(struct statfs *buf, long bufsize) {
    PyThreadState *saved = PyEval_SaveThread();
    int count = getfsstat(buf, bufsize, MNT_NOWAIT);
    PyEval_RestoreThread(saved);
    return count;
}

PyObject *partition_tuple(const struct statfs &fs) {
    char options[200];
    option_text(fs.f_flags, options);
    char fstype[sizeof(fs.f_fstypename) + 1] = {};
    std::memcpy(fstype, fs.f_fstypename, strnlen(fs.f_fstypename, sizeof(fs.f_fstypename)));
    PyRef device(decode_name(fs.f_mntfromname));
    if (!device)
        return nullptr;
    PyRef mount_point(decode_name(fs.f_mntonname));
    if (!mount_point)
        return nullptr;
    return Py_BuildValue("(OOss)", device.get(), mount_point.get(), fstype, options);
}

// A bintime in whole milliseconds, the fraction truncated: its upper 32 bits suffice.
long long bintime_ms(const struct bintime &bt) {
    uint64_t upper = bt.frac >> 32;
    uint64_t ns = (upper * 1000000000ULL) >> 32;
    return static_cast<long long>(static_cast<uint64_t>(bt.sec) * 1000u + ns / 1000000u);
}

// The device list and the memory the library allocated for it, freed together.
struct DeviceList {
    MallocPtr<struct devinfo> info{static_cast<struct devinfo *>(std::calloc(1, sizeof(struct devinfo)))};
    ~DeviceList() {
        if (info)
            std::free(info->mem_ptr);
    }
};

}  // namespace

PyObject *lumvik_disk_partitions(PyObject *, PyObject *) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    int count = mount_table(nullptr, 0);
    if (count == -1)
        return lumvik_oserror();
    size_t bytes = static_cast<size_t>(std::max(count, 0)) * sizeof(struct statfs);
    // At least one byte: an empty table must not read as a failed allocation.
    MallocPtr<struct statfs> records(static_cast<struct statfs *>(std::calloc(1, std::max<size_t>(bytes, 1))));
    if (!records)
        return PyErr_NoMemory();
    int filled = mount_table(records.get(), static_cast<long>(bytes));
    if (filled == -1)
        return lumvik_oserror();
    // Never more records than the buffer holds, whatever the call claims.
    filled = std::min(filled, count);
    for (int i = 0; i < filled; ++i) {
        PyRef item(partition_tuple(records.get()[i]));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_disk_io_counters(PyObject *, PyObject *) {
    PyRef dict(PyDict_New());
    if (!dict)
        return nullptr;
    if (devstat_checkversion(nullptr) < 0)
        return lumvik_runtime_error("devstat_checkversion() syscall failed");
    DeviceList devices;
    if (!devices.info)
        return PyErr_NoMemory();
    struct statinfo stats = {};
    stats.dinfo = devices.info.get();
    if (devstat_getdevs(nullptr, &stats) == -1)
        return lumvik_runtime_error("devstat_getdevs() syscall failed");
    for (int i = 0; i < devices.info->numdevs; ++i) {
        const struct devstat &d = devices.info->devices[i];
        char key[128];
        str_format(key, sizeof(key), "%.*s%d", static_cast<int>(strnlen(d.device_name, sizeof(d.device_name))),
                   d.device_name, d.unit_number);
        PyRef counters(Py_BuildValue("(KKKKLLL)", static_cast<unsigned long long>(d.operations[DEVSTAT_READ]),
                                     static_cast<unsigned long long>(d.operations[DEVSTAT_WRITE]),
                                     static_cast<unsigned long long>(d.bytes[DEVSTAT_READ]),
                                     static_cast<unsigned long long>(d.bytes[DEVSTAT_WRITE]),
                                     bintime_ms(d.duration[DEVSTAT_READ]), bintime_ms(d.duration[DEVSTAT_WRITE]),
                                     bintime_ms(d.busy_time)));
        if (!counters || PyDict_SetItemString(dict.get(), key, counters.get()) != 0)
            return nullptr;
    }
    return dict.release();
}
