#include "monitor/undo.h"

#include <string>

#include "monitor/file_changes.h"
#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"

namespace monitor {

namespace {

platform::RegKey root_of(const RegChange& change) {
    return static_cast<platform::RegKey>(change.root);
}

bool exists(const char* path) {
    return platform::get_attributes(path) != platform::kInvalidAttributes;
}

} // namespace

int undoRegChanges() {
    for (const auto& record : regchanges.records) {
        const RegChange& change = *record;
        if (!change.selected || change.gone) continue;
        if (change.kind == KeyNew) {
            // The whole branch: the record stands for everything below it.
            platform::reg_delete_tree(root_of(change), change.keyPath.c_str());
            continue;
        }
        platform::RegKey key;
        if (platform::reg_open(root_of(change), change.keyPath.c_str(), &key) != platform::kRegOk)
            continue;
        if (change.kind == ValueNew)
            platform::reg_delete_value(key, change.valueName.c_str());
        else if (change.kind == ValueChanged)
            platform::reg_set_value(
                key, change.valueName.c_str(), static_cast<std::uint32_t>(change.previousType),
                change.previousData.data(), static_cast<std::uint32_t>(change.previousSize));
        platform::reg_close(key);
    }
    return 0;
}

int deleteNewFiles() {
    for (FileChange* f = filechanges.head(); f; f = f->next) {
        if (f->kind != FileNew || f->gone || !f->selected) continue;
        platform::set_attributes(f->path, 0);
        platform::delete_file(f->path);
    }
    return 0;
}

int removeNewDirs() {
    for (DirChange* d : dirchanges.index())
        platform::remove_directory(d->path);
    return 0;
}

int restoreSystemFiles() {
    for (SavedFile* s = savedlist.head(); s; s = s->next) {
        if (s->kind != SavedCopy) continue;
        std::string copy = platform::with_backslash(copyDir) + s->name;
        std::string original = platform::with_backslash(s->folder) + s->name;
        platform::copy_file(copy.c_str(), original.c_str(), false);
    }
    return 0;
}

int countRemainingFiles() {
    int left = 0;
    for (FileChange* f = filechanges.head(); f; f = f->next) {
        f->gone = exists(f->path) ? 0 : 1;
        if (!f->gone) ++left;
    }
    return left;
}

int countRemainingRegChanges() {
    int left = 0;
    for (const auto& record : regchanges.records) {
        platform::RegKey key;
        if (platform::reg_open(root_of(*record), record->keyPath.c_str(), &key) !=
            platform::kRegOk) {
            record->gone = 1;
            continue;
        }
        record->gone = 0;
        platform::reg_close(key);
        ++left;
    }
    return left;
}

} // namespace monitor
