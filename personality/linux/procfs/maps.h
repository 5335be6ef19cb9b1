// A host process's memory map as /proc/PID/smaps shows it: each mapping, its backing and how
// much of it is resident.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "linux/procfs/process_state.h"
#include "linux/text_file.h"

namespace host {

struct MapEntry {
    uint64_t start = 0, end = 0, offset = 0;
    bool read = false, write = false, exec = false, shared = false;
    uint64_t dev = 0;             // device of the backing file (the major:minor shown)
    uint64_t inode = 0;           // 0 for anonymous memory
    std::string_view name;        // a path, a pseudo name ("[heap]", "[vdso]", "[anon:x]") or empty
    bool deleted = false;         // the path ended in " (deleted)", now cut off
    uint64_t rss_kb = 0, private_clean_kb = 0, private_dirty_kb = 0;
    std::string_view vm_flags;    // two-letter mnemonics: "rd wr mr mw me gd ac"
};

// The entries of an smaps text, in its order (ascending addresses); names and flags view
// into the text.
void parse_smaps(std::string_view text, std::vector<MapEntry> &out);

// The text read in one go and its entries.
struct MemoryMap {
    ProcessState state = ProcessState::alive;  // exited: a zombie or an exiting process, its memory released
    TextFile text;
    std::vector<MapEntry> entries;
};

// 0; ESRCH for a pid that is not a process; or the host's errno (EACCES) when it refuses.
// A kernel thread and an exited process have no entries.
int read_memory_map(int pid, MemoryMap &out);

}  // namespace host
