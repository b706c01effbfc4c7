#include "monitor/file_changes.h"

#include <cstring>

#include "monitor/log_ring.h"
#include "monitor/no_case.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"

namespace monitor {

IndexedList<DirChange> dirchanges;
IndexedList<FileChange> filechanges;

namespace {

// The log decides what an uninstall deletes, so only a full path of a drive
// with no "." or ".." step is taken from it: anything else could name a file
// other than the one that was written.
bool isFullPath(const char* path) {
    const char letter = static_cast<char>(path[0] | 0x20);
    if (letter < 'a' || letter > 'z' || path[1] != ':' || path[2] != '\\') return false;
    for (const char* part = path + 3; *part;) {
        const char* end = std::strchr(part, '\\');
        const std::size_t n = end ? static_cast<std::size_t>(end - part) : std::strlen(part);
        if ((n == 1 && part[0] == '.') || (n == 2 && part[0] == '.' && part[1] == '.'))
            return false;
        if (!end) break;
        part = end + 1;
    }
    return true;
}

// The registry's own files change with every registry write, installer or not.
bool isRegistryFile(const char* lowered) {
    return std::strstr(lowered, "system.dat") || std::strstr(lowered, "user.dat");
}

// Appends a node to list; nullptr when it could not. A full list only
// refuses (its overflow flag tells); running out of memory ends the run.
template <typename Node> Node* appendTo(IndexedList<Node>& list) {
    Node* node = list.append();
    if (!node && !list.full()) runError = 1;
    return node;
}

void recordFile(const char* path) {
    if (isRegistryFile(path)) return;
    const char* name = std::strrchr(path, '\\') + 1;
    std::int32_t kind = FileNew;
    if (const SavedFile* saved = findSaved(name)) {
        // A start-up file is put back from its copy on uninstall: no entry.
        if (saved->kind == SavedCopy) return;
        kind = FileReplaced;
    }
    if (FileChange* node = appendTo(filechanges)) {
        platform::copy_bounded(node->path, sizeof node->path, path);
        node->kind = kind;
        node->selected = 1;
        node->gone = 0;
    }
}

} // namespace

int readLog() {
    dirchanges.clear();
    filechanges.clear();
    platform::ScopedFile log(platform::open_read(logPath));
    if (!log.valid()) {
        platform::message_box({"Can't open log file", "Error", platform::kMbOk});
        return 1;
    }
    char record[kLogRecordSize];
    while (runError == 0) {
        std::uint32_t got = 0;
        if (!platform::read_file(log.get(), record, sizeof record, &got) || got < sizeof record)
            break;
        if (!std::memchr(record, '\0', sizeof record) || !isFullPath(record)) continue;
        const std::uint32_t attributes = platform::get_attributes(record);
        if (attributes == platform::kInvalidAttributes) continue; // gone again meanwhile
        platform::lower_case(record);
        if (attributes & platform::kAttrDirectory) {
            if (DirChange* node = appendTo(dirchanges))
                platform::copy_bounded(node->path, sizeof node->path, record);
        } else {
            recordFile(record);
        }
    }
    log.reset();
    // A failed rebuild is the only result that may change runError here: a
    // successful one must not hide a failed append.
    if (dirchanges.rebuildIndex([](const DirChange& a, const DirChange& b) {
            return compareNoCase(a.path, b.path) > 0;
        }) != 0 ||
        filechanges.rebuildIndex([](const FileChange& a, const FileChange& b) {
            return compareNoCase(a.path, b.path) < 0;
        }) != 0)
        runError = 1;
    return 0;
}

FileChange* findFileChange(const char* path) {
    return filechanges.find(path, [](const FileChange& n, const char* key) {
        return compareNoCase(n.path, key);
    });
}

} // namespace monitor
