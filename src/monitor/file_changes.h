// What the file-change log says the monitored installation did: the folders
// it created and the files it created or replaced, read from the log file
// after logging has stopped.
#pragma once

#include <cstdint>

#include "monitor/indexed_list.h"
#include "platform/platform.h"

namespace monitor {

enum FileChangeKind : std::int32_t {
    FileNew = 2,
    FileReplaced = 4, // a file of the name of a recorded system DLL
};

struct DirChange {
    char path[platform::kMaxPath];
    DirChange* next;
};

struct FileChange {
    char path[platform::kMaxPath]; // lowercased
    std::int32_t kind;
    std::int16_t selected; // 1 when created
    std::int16_t gone;     // 0 when created; set once the file has been removed
    FileChange* next;
};

// In log order. The dirchanges index sorts paths descending without case, so
// every folder comes after the folders inside it (the order of removal);
// the filechanges index sorts ascending (the order of display and report).
extern IndexedList<DirChange> dirchanges;
extern IndexedList<FileChange> filechanges;

// Fills both lists from the log file at logPath. Returns 0, or 1 when the
// log cannot be opened (after telling the user; the lists stay empty). Sets
// runError to 1 when memory runs out.
int readLog();

// The filechanges entry of path, compared without case; nullptr when none.
FileChange* findFileChange(const char* path);

} // namespace monitor
