#include "monitor/undo.h"

#include <algorithm>
#include <cstring>
#include <new>
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

// Nothing left to undo there.
bool missing(std::uint32_t error) {
    return error == platform::kErrFileNotFound || error == platform::kErrPathNotFound;
}

std::string key_name(const RegChange& change) {
    std::string name = change.root == static_cast<std::int32_t>(platform::kHkeyCurrentUser)
                           ? "HKEY_CURRENT_USER"
                           : "HKEY_LOCAL_MACHINE";
    if (!change.keyPath.empty()) name += "\\" + change.keyPath;
    return name;
}

std::string value_name(const RegChange& change) {
    return (change.valueName.empty() ? std::string("[Default]") : change.valueName) + " in " +
           key_name(change);
}

// Whether two files hold the same bytes; false when either cannot be read.
bool same_content(const std::string& a, const std::string& b) {
    platform::ScopedFile fa(platform::open_read(a.c_str())), fb(platform::open_read(b.c_str()));
    if (!fa.valid() || !fb.valid()) return false;
    char ba[4096], bb[4096];
    for (;;) {
        std::uint32_t ga = 0, gb = 0;
        if (!platform::read_file(fa.get(), ba, sizeof ba, &ga) ||
            !platform::read_file(fb.get(), bb, sizeof bb, &gb) || ga != gb)
            return false;
        if (ga == 0) return true;
        if (std::memcmp(ba, bb, ga) != 0) return false;
    }
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
        try {
            std::uint32_t type = 0;
            std::vector<std::uint8_t> data;
            there = read_value(key, change.valueName, &type, &data);
            if (there && change.kind == ValueChanged)
                there = type == static_cast<std::uint32_t>(change.currentType) &&
                        data.size() == static_cast<std::size_t>(change.currentSize) &&
                        std::equal(data.begin(), data.end(), change.currentData.begin());
        } catch (const std::bad_alloc&) {
            there = true; // not looked at: shown and undone rather than hidden
        }
    }
    platform::reg_close(key);
    return there;
}

} // namespace

int undoRegChanges(UndoResult& result) {
    try {
        for (const auto& record : regchanges.records) {
            const RegChange& change = *record;
            if (!change.selected || change.gone) continue;
            if (change.kind == KeyNew) {
                // The whole branch: the record stands for everything below it.
                long r = platform::reg_delete_tree(root_of(change), change.keyPath.c_str());
                if (r == platform::kRegOk)
                    ++result.keysRemoved;
                else if (r != platform::kRegNotFound)
                    result.failures.push_back("could not remove the key " + key_name(change) +
                                              ": " + failureReason(static_cast<std::uint32_t>(r)));
                continue;
            }
            const bool back = change.kind == ValueChanged;
            const std::string what = std::string(back ? "could not put back the value "
                                                      : "could not remove the value ") +
                                     value_name(change);
            platform::RegKey key;
            long r = platform::reg_open(root_of(change), change.keyPath.c_str(), &key);
            if (r != platform::kRegOk) {
                // A new value whose key is gone is gone with it; a changed
                // value has no key to go back into.
                if (back || r != platform::kRegNotFound)
                    result.failures.push_back(what + ": " +
                                              failureReason(static_cast<std::uint32_t>(r)));
                continue;
            }
            if (back)
                r = platform::reg_set_value(
                    key, change.valueName.c_str(), static_cast<std::uint32_t>(change.previousType),
                    change.previousData.data(), static_cast<std::uint32_t>(change.previousSize));
            else
                r = platform::reg_delete_value(key, change.valueName.c_str());
            platform::reg_close(key);
            if (r == platform::kRegOk)
                ++(back ? result.valuesRestored : result.valuesRemoved);
            else if (back || r != platform::kRegNotFound)
                result.failures.push_back(what + ": " +
                                          failureReason(static_cast<std::uint32_t>(r)));
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int deleteNewFiles(UndoResult& result) {
    try {
        for (FileChange* f = filechanges.head(); f; f = f->next) {
            if (f->kind != FileNew || f->gone || !f->selected) continue;
            platform::set_attributes(f->path, 0);
            if (platform::delete_file(f->path)) {
                ++result.filesDeleted;
                continue;
            }
            const std::uint32_t error = platform::last_error();
            if (!missing(error))
                result.failures.push_back(std::string("could not delete ") + f->path + ": " +
                                          failureReason(error));
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int removeNewDirs(UndoResult& result) {
    try {
        for (DirChange* d : dirchanges.index()) {
            if (platform::remove_directory(d->path)) {
                ++result.foldersRemoved;
                continue;
            }
            const std::uint32_t error = platform::last_error();
            if (!missing(error))
                result.failures.push_back(std::string("could not remove the folder ") + d->path +
                                          ": " + failureReason(error));
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int restoreSystemFiles(UndoResult& result) {
    try {
        for (SavedFile* s = savedlist.head(); s; s = s->next) {
            if (s->kind != SavedCopy) continue;
            std::string copy = platform::with_backslash(copyDir) + s->name;
            std::string original = platform::with_backslash(s->folder) + s->name;
            if (same_content(copy, original)) continue;
            if (platform::copy_file(copy.c_str(), original.c_str(), false))
                ++result.startupRestored;
            else
                result.failures.push_back("could not put back " + original + ": " +
                                          failureReason(platform::last_error()));
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

std::string failureReason(std::uint32_t code) {
    switch (code) {
    case platform::kErrFileNotFound:
        return "it is not there";
    case platform::kErrPathNotFound:
        return "its folder is not there";
    case platform::kErrAccessDenied:
        return "access is denied";
    case 19:
        return "the disk is write-protected";
    case 32:
    case 33:
        return "it is in use";
    case platform::kErrDiskFull:
        return "the disk is full";
    case 145:
        return "it is not empty";
    default:
        return "system error " + std::to_string(code);
    }
}

std::string undoSummary(const UndoResult& result) {
    // A box taller than the screen hides its own button.
    constexpr std::size_t kShownFailures = 15;
    std::string text = "Files deleted: " + std::to_string(result.filesDeleted) +
                       "\nFolders removed: " + std::to_string(result.foldersRemoved) +
                       "\nRegistry keys removed: " + std::to_string(result.keysRemoved) +
                       "\nRegistry values removed: " + std::to_string(result.valuesRemoved) +
                       "\nRegistry values put back: " + std::to_string(result.valuesRestored) +
                       "\nStart-up files put back: " + std::to_string(result.startupRestored);
    if (result.failures.empty()) return text;
    text += "\n\nNot undone:";
    for (std::size_t i = 0; i < result.failures.size() && i < kShownFailures; ++i)
        text += "\n" + result.failures[i];
    if (result.failures.size() > kShownFailures)
        text += "\nand " + std::to_string(result.failures.size() - kShownFailures) + " more";
    return text;
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
