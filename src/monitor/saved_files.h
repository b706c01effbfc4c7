// The system files recorded before logging starts: the start-up files, of
// which copies are kept in the Copy folder to be put back on uninstall, and
// the system DLLs, recorded by name only so that a DLL the installer writes
// counts as replaced, not as new.
#pragma once

#include <cstdint>

#include "monitor/indexed_list.h"
#include "platform/platform.h"

namespace monitor {

enum SavedKind : std::int16_t {
    SavedWatch = 8, // recorded only
    SavedCopy = 16, // a copy lies in the Copy folder under the same file name
};

struct SavedFile {
    char folder[platform::kMaxPath]; // with its trailing backslash
    char name[platform::kMaxPath];
    std::int16_t kind;
    SavedFile* next;
};

// In the order recorded; the index is sorted by file name, case-insensitive.
extern IndexedList<SavedFile> savedlist;

// Records every file of folder matching name.extension (wildcards allowed)
// and, for SavedCopy, copies it into copyDir. Sets runError to 1 when memory
// runs out; does nothing once runError is set.
void saveMatching(const char* folder, const char* name, const char* extension,
                  std::int16_t kind);

// The start-up files of drive c: and the Windows folder, and the DLLs of the
// Windows and system folders.
void saveSystemFiles();

// The entry recorded under fileName (no folder), compared without case;
// nullptr when there is none.
const SavedFile* findSaved(const char* fileName);

} // namespace monitor
