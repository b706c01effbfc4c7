#include "monitor/saved_files.h"

#include <cstring>
#include <string>
#include <vector>

#include "monitor/no_case.h"
#include "monitor/run_state.h"

namespace monitor {

IndexedList<SavedFile> savedlist;

void saveMatching(const char* folder, const char* name, const char* extension,
                  std::int16_t kind) {
    if (runError != 0) return;
    const std::string base = platform::with_backslash(folder);
    const std::string pattern = base + name + "." + extension;
    std::vector<platform::FindData> found;
    platform::find_files(pattern.c_str(), &found);
    for (const platform::FindData& entry : found) {
        // A folder whose name happens to match is no system file.
        if (entry.attributes & platform::kAttrDirectory) continue;
        const std::string path = base + entry.name;
        const std::size_t cut = path.find_last_of('\\') + 1;
        // A name that does not fit the fixed fields could only be kept cut
        // short, and would then name another file.
        if (path.size() >= platform::kMaxPath) continue;
        SavedFile* node = savedlist.append();
        if (!node) {
            if (savedlist.full()) break;
            runError = 1;
            return;
        }
        platform::copy_bounded(node->folder, sizeof node->folder, path.substr(0, cut).c_str());
        platform::copy_bounded(node->name, sizeof node->name, path.c_str() + cut);
        node->kind = kind;
        if (kind == SavedCopy) {
            const std::string copy = platform::with_backslash(copyDir) + node->name;
            // A copy that cannot be made is not reported: the file stays
            // recorded, so it is still not counted as new.
            if (copy.size() < platform::kMaxPath)
                platform::copy_file(path.c_str(), copy.c_str(), false);
        }
    }
    if (savedlist.rebuildIndex([](const SavedFile& a, const SavedFile& b) {
            return compareNoCase(a.name, b.name) < 0;
        }) != 0)
        runError = 1;
}

void saveSystemFiles() {
    const std::string windows = platform::windows_directory();
    const std::string system = platform::system_directory();
    saveMatching("c:\\", "autoexec", "bat", SavedCopy);
    saveMatching("c:\\", "config", "sys", SavedCopy);
    saveMatching(windows.c_str(), "*", "ini", SavedCopy);
    saveMatching(windows.c_str(), "*", "dll", SavedWatch);
    saveMatching(system.c_str(), "*", "dll", SavedWatch);
}

const SavedFile* findSaved(const char* fileName) {
    return savedlist.find(fileName, [](const SavedFile& n, const char* key) {
        return compareNoCase(n.name, key);
    });
}

} // namespace monitor
