#include "monitor/undo.h"

#include <algorithm>
#include <string>
#include <strings.h>
#include <vector>

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

// The value name holds in an open key, read into type and data; false when
// there is none.
bool read_value(platform::RegKey key, const std::string& name, std::uint32_t* type,
                std::vector<std::uint8_t>* data) {
    platform::RegKeyInfo info;
    if (platform::reg_query_info(key, &info) != platform::kRegOk) return false;
    std::vector<char> found(info.longest_value_name + 1);
    std::vector<std::uint8_t> bytes(info.longest_value_data + 1);
    for (std::uint32_t i = 0; i < info.values; ++i) {
        std::uint32_t name_size = static_cast<std::uint32_t>(found.size());
        std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
        if (platform::reg_enum_value(key, i, found.data(), &name_size, type, bytes.data(), &size) !=
            platform::kRegOk)
            continue;
        if (name_size != name.size() || strncasecmp(found.data(), name.c_str(), name_size) != 0)
            continue;
        data->assign(bytes.begin(), bytes.begin() + size);
        return true;
    }
    return false;
}

// Whether what the record says the installer did is still there: a new key
// that opens, a new value that is still there (whatever it holds now), a
// changed value that still holds the installer's data. A changed value that
// was removed, put back or set to anything else counts as gone: the undo
// would otherwise overwrite what the uninstaller chose to leave.
bool still_there(const RegChange& change) {
    platform::RegKey key;
    if (platform::reg_open(root_of(change), change.keyPath.c_str(), &key) != platform::kRegOk)
        return false;
    bool there = true;
    if (change.kind != KeyNew) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        there = read_value(key, change.valueName, &type, &data);
        if (there && change.kind == ValueChanged)
            there = type == static_cast<std::uint32_t>(change.currentType) &&
                    data.size() == static_cast<std::size_t>(change.currentSize) &&
                    std::equal(data.begin(), data.end(), change.currentData.begin());
    }
    platform::reg_close(key);
    return there;
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
        record->gone = still_there(*record) ? 0 : 1;
        if (!record->gone) ++left;
    }
    return left;
}

} // namespace monitor
