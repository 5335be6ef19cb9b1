// What a process holds open and mapped: its files, working directory and memory maps.
#include "arch/freebsd/proc.h"

#include <sys/user.h>

#include <libutil.h>

#include <cerrno>

#include "arch/all/errors.h"
#include "arch/all/owned.h"
#include "arch/all/str.h"
#include "arch/posix/proc.h"

namespace {

// The records a utility library call gives about the pid in args, or null with the exception
// set. A missing pid fails early on its kernel record, so that it is reported as such.
template <class Record>
MallocPtr<Record> library_records(PyObject *args, int *count, Record *(*call)(pid_t, int *), const char *call_name) {
    pid_t pid;
    struct kinfo_proc kp;
    if (!PyArg_ParseTuple(args, "i", &pid) || lumvik_kinfo_proc(pid, &kp) != 0)
        return nullptr;
    errno = 0;  // lets the classifier tell a failure with an errno from one without
    MallocPtr<Record> records(call(pid, count));
    if (!records)
        lumvik_raise_for_pid(pid, call_name);
    return records;
}

MallocPtr<struct kinfo_file> file_records(PyObject *args, int *count) {
    return library_records(args, count, kinfo_getfile, "kinfo_getfile()");
}

// kf_path and kve_path bounded by their field, whatever the kernel put in them.
template <size_t N>
PyObject *decode_path(const char (&path)[N]) {
    return PyUnicode_DecodeFSDefaultAndSize(path, static_cast<Py_ssize_t>(strnlen(path, N)));
}

}  // namespace

PyObject *lumvik_proc_open_files(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    int count = 0;
    MallocPtr<struct kinfo_file> records = file_records(args, &count);
    if (!records)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        const struct kinfo_file &kf = records.get()[i];
        if (kf.kf_type != KF_TYPE_VNODE || kf.kf_vnode_type != KF_VTYPE_VREG)
            continue;
        PyRef path(decode_path(kf.kf_path));
        if (!path)
            return nullptr;
        PyRef item(Py_BuildValue("(Oi)", path.get(), kf.kf_fd));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}

PyObject *lumvik_proc_cwd(PyObject *, PyObject *args) {
    int count = 0;
    MallocPtr<struct kinfo_file> records = file_records(args, &count);
    if (!records)
        return nullptr;
    for (int i = 0; i < count; ++i)
        if (records.get()[i].kf_fd == KF_FD_TYPE_CWD)
            return decode_path(records.get()[i].kf_path);
    return PyUnicode_FromString("");
}

PyObject *lumvik_proc_num_fds(PyObject *, PyObject *args) {
    int count = 0;
    MallocPtr<struct kinfo_file> records = file_records(args, &count);
    if (!records)
        return nullptr;
    return Py_BuildValue("i", count);
}

namespace {

const char *mapping_type_label(int type) {
    static const char *const labels[] = {
        "[none]",     // KVME_TYPE_NONE
        "[default]",  // KVME_TYPE_DEFAULT
        "[vnode]",    // KVME_TYPE_VNODE
        "[swap]",     // KVME_TYPE_SWAP
        "[device]",   // KVME_TYPE_DEVICE
        "[phys]",     // KVME_TYPE_PHYS
        "[dead]",     // KVME_TYPE_DEAD
        "[sg]",       // KVME_TYPE_SG
    };
    unsigned index = static_cast<unsigned>(type);
    if (index < std::size(labels))
        return labels[index];
    return index == KVME_TYPE_UNKNOWN ? "[unknown]" : "[?]";
}

// "0x10000-0x12000": the width is a minimum, and the padding it adds is removed.
void address_text(const struct kinfo_vmentry &kve, char *text, size_t size) {
    str_format(text, size, "%#*jx-%#*jx", 16, static_cast<uintmax_t>(kve.kve_start), 16,
               static_cast<uintmax_t>(kve.kve_end));
    char *out = text;
    for (const char *in = text; *in; ++in)
        if (*in != ' ')
            *out++ = *in;
    *out = '\0';
}

void permission_text(int protection, char *text, size_t size) {
    str_append(text, size, protection & KVME_PROT_READ ? "r" : "-");
    str_append(text, size, protection & KVME_PROT_WRITE ? "w" : "-");
    str_append(text, size, protection & KVME_PROT_EXEC ? "x" : "-");
}

}  // namespace

PyObject *lumvik_proc_memory_maps(PyObject *, PyObject *args) {
    PyRef list(PyList_New(0));
    if (!list)
        return nullptr;
    int count = 0;
    MallocPtr<struct kinfo_vmentry> records = library_records(args, &count, kinfo_getvmmap, "kinfo_getvmmap()");
    if (!records)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        const struct kinfo_vmentry &kve = records.get()[i];
        char addr[1000] = "", perms[4] = "";
        address_text(kve, addr, sizeof(addr));
        permission_text(kve.kve_protection, perms, sizeof(perms));
        PyRef path(kve.kve_path[0] != '\0' ? decode_path(kve.kve_path)
                                           : PyUnicode_DecodeFSDefault(mapping_type_label(kve.kve_type)));
        if (!path)
            return nullptr;
        PyRef item(Py_BuildValue("ssOiiii", addr, perms, path.get(), kve.kve_resident, kve.kve_private_resident,
                                 kve.kve_ref_count, kve.kve_shadow_count));
        if (!item || PyList_Append(list.get(), item.get()) != 0)
            return nullptr;
    }
    return list.release();
}
