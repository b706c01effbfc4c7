#include "ops/flist.h"

#include <algorithm>
#include <new>

#include "ops/job_ui.h"
#include "ops/wildcard.h"
#include "platform/platform.h"
#include "zip/zlist.h"

int flist::append(const std::string& path) {
    try {
        entries.push_back({path, kFentryNone});
    } catch (const std::bad_alloc&) {
        return 1;
    }
    sorted.clear(); // pointers into the old storage are stale now
    return 0;
}

int flist::sort() {
    sorted.clear();
    try {
        for (auto& e : entries) sorted.push_back(&e);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const fentry* a, const fentry* b) { return compare_names(a->path.c_str(), b->path.c_str()) > 0; });
    return 0;
}

void flist::set_flags(std::uint16_t value) {
    for (auto& e : entries) e.flag = value;
}

void flist::remove_flagged(std::uint16_t value) {
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const fentry& e) { return e.flag == value; }),
                  entries.end());
    sorted.clear();
}

void flist::set_source_folder(const std::string& folder) {
    std::size_t n = folder.size();
    if (n > 3 && folder[n - 1] == '\\') --n; // the separator is not part of the prefix
    prefix_length = n > 3 ? static_cast<int>(n) - 3 : 0;
}

namespace {

template <typename Qualifies>
bool walk(flist& list, const std::string& folder, const Qualifies& qualifies) {
    std::string base = platform::with_backslash(folder);
    std::vector<platform::FindData> found;
    if (!platform::find_files((base + "*.*").c_str(), &found, list.store_links != 0)) return true;
    bool any_file = false;
    for (const auto& f : found) {
        if ((f.attributes & platform::kAttrDirectory) && !(f.link && list.store_links)) {
            if (list.recurse && !walk(list, base + f.name, qualifies)) return false;
        } else if (qualifies(f.name)) {
            if (list.append(base + f.name) != 0) return false;
            any_file = true;
        }
    }
    if (!any_file && list.empty_folders && list.append(base) != 0) return false;
    return true;
}

} // namespace

bool collectFiles(flist& list, const std::string& folder, const wlist& include, const wlist& exclude) {
    return walk(list, folder, [&](const std::string& name) {
        return include.matchAny(name.c_str(), 0) && !exclude.matchAny(name.c_str(), 0);
    });
}

bool collectFiles(flist& list, const std::string& folder, const char* pattern) {
    return walk(list, folder, [&](const std::string& name) { return matchName(name.c_str(), pattern, 0); });
}

void deleteSourceFiles(flist& list, JobUi* ui) {
    if (list.sort() != 0) return;
    list.set_flags(kFentryNone);
    std::uint32_t mode = kAnswerYes;
    for (fentry* e : list.sorted) {
        if (mode == kAnswerYesToAll || mode == kAnswerCancel) break;
        if (mode == kAnswerNo) mode = kAnswerYes;
        if (e->is_folder()) continue;
        std::uint32_t attributes = platform::get_attributes(e->path.c_str());
        if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) &&
            mode == kAnswerYes)
            mode = ui ? ui->confirm_delete_read_only(nullptr, e->path.c_str()) : kAnswerNo;
        if (mode == kAnswerYes) e->flag = kFentryDelete;
        if (mode == kAnswerNo) e->flag = kFentryKeep;
        if (mode == kAnswerYesToAll) {
            // From here on: this file and every one not yet answered. A file
            // the user said No to stays.
            for (fentry* rest : list.sorted)
                if (rest->flag == kFentryNone) rest->flag = kFentryDelete;
        }
        if (mode == kAnswerCancel) list.set_flags(kFentryKeep);
    }
    if (mode == kAnswerCancel) return;
    for (fentry* e : list.sorted) {
        if (e->is_folder() || e->flag != kFentryDelete) continue;
        platform::set_attributes(e->path.c_str(), 0);
        platform::delete_file(e->path.c_str());
    }
    // Remove the folders the deletion emptied, upwards to the first that is
    // not empty, but never the source folder the user chose or any folder
    // above it: those were not part of what was added.
    const std::size_t source_length = 3 + static_cast<std::size_t>(list.prefix_length);
    for (fentry* e : list.sorted) {
        std::string path = e->path;
        for (;;) {
            std::size_t cut = path.find_last_of('\\');
            if (cut == std::string::npos || (cut > 0 && path[cut - 1] == ':')) break;
            path.erase(cut);
            if (path.size() <= source_length) break;
            if (!platform::remove_directory(path.c_str())) break;
        }
    }
}
