// Files and folders dropped on the main window: the Add Files dialog opens
// with them, or, while no archive is open, a dropped archive is opened.
#include <string>
#include <vector>

#include "app/add_files.h"
#include "app/app.h"
#include "app/app_win.h"
#include "ops/paths.h"
#include "zip/zlist.h"

namespace {

std::string utf8_of(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}

// A drive path (C:\...) or a network path (\\server\share\...); the shell
// hands other things (printers, virtual folders) as names like "::{...}".
bool is_file_system_path(const std::string& p) {
    bool drive = p.size() >= 3 && p[1] == ':' && p[2] == '\\' &&
                 ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
    bool network = p.size() > 2 && p[0] == '\\' && p[1] == '\\' && p[2] != '?' && p[2] != '.';
    return drive || network;
}

bool ends_with_no_case(const std::string& s, const char* tail) {
    std::string t = tail;
    if (s.size() < t.size()) return false;
    return compare_names(s.c_str() + s.size() - t.size(), tail) == 0;
}

std::string parent_of(const std::string& p) {
    char folder[platform::kMaxPath];
    platform::copy_bounded(folder, sizeof folder, p.c_str());
    stripFileName(folder);
    return folder;
}

std::string name_of(const std::string& p) {
    std::size_t cut = p.find_last_of('\\');
    return cut == std::string::npos ? p : p.substr(cut + 1);
}

void tell(HWND owner, const std::string& text, std::uint32_t icon) {
    platform::message_box({text, "ZARVO", platform::kMbOk | icon, owner});
}

} // namespace

void TAppWin::onDropFiles(HDROP drop) {
    std::vector<std::string> names;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        if (length > 0) DragQueryFileW(drop, i, &name[0], length + 1);
        name.resize(length);
        names.push_back(utf8_of(name));
    }
    DragFinish(drop);
    dropFiles(names);
}

void TAppWin::dropFiles(const std::vector<std::string>& names) {
    AppState& a = app();
    std::vector<std::string> files, folders;
    std::string refused;
    for (const std::string& n : names) {
        const std::string shown = n.empty() ? "(an item without a name)" : n;
        if (!is_file_system_path(n)) {
            refused += shown + "\n    is not a file or folder\n";
        } else if (n.size() >= platform::kMaxPath) {
            refused += shown + "\n    has a path longer than " +
                       std::to_string(platform::kMaxPath - 1) + " characters\n";
        } else {
            std::uint32_t attributes = platform::get_attributes(n.c_str());
            if (attributes == platform::kInvalidAttributes)
                refused += shown + "\n    is no longer there\n";
            else if (attributes & platform::kAttrDirectory)
                folders.push_back(n);
            else
                files.push_back(n);
        }
    }
    // Members dragged out of this window and let go over it again are
    // files of the work folder: nothing to add.
    std::string work = a.settings.workDir;
    auto in_work_folder = [&](const std::string& p) {
        return !work.empty() && p.size() > work.size() &&
               compare_names(p.substr(0, work.size()).c_str(), work.c_str()) == 0;
    };
    bool all_ours = !files.empty() || !folders.empty();
    for (const std::string& p : files)
        all_ours = all_ours && in_work_folder(p);
    for (const std::string& p : folders)
        all_ours = all_ours && in_work_folder(p);
    if (all_ours && refused.empty()) return;

    if (!refused.empty())
        tell(hwnd(),
             "ZARVO takes only files and folders; these dropped items are left out:\n\n" + refused,
             platform::kMbIconExclamation);
    if (files.empty() && folders.empty()) return;

    if (!archiveOpen_) {
        // One archive alone is opened as Open would open it.
        if (files.size() == 1 && folders.empty() &&
            (ends_with_no_case(files[0], ".zip") || ends_with_no_case(files[0], ".exe"))) {
            platform::copy_bounded(a.archivePath, sizeof a.archivePath, files[0].c_str());
            platform::copy_bounded(a.lastFolder, sizeof a.lastFolder, files[0].c_str());
            stripFileName(a.lastFolder);
            if (!a.extractFolder[0]) {
                platform::copy_bounded(a.extractFolder, sizeof a.extractFolder, files[0].c_str());
                stripFileName(a.extractFolder);
            }
            openArchiveView();
            return;
        }
        tell(hwnd(),
             "No archive is open to add the dropped files to.\n\nOpen an archive, or make a new "
             "one with File New, and drop them again; a single archive dropped alone is opened.",
             platform::kMbIconInformation);
        return;
    }
    if (!archiveStillThere()) return;

    // The dialog shows one folder: the files of one folder, or one folder
    // with its sub-folders.
    AddPreset preset;
    if (folders.size() == 1 && files.empty()) {
        preset.folder = folders[0];
        preset.recurse = true;
    } else if (folders.empty()) {
        preset.folder = parent_of(files[0]);
        for (const std::string& f : files) {
            if (compare_names(parent_of(f).c_str(), preset.folder.c_str()) != 0) {
                preset.files.clear();
                break;
            }
            preset.files.push_back(name_of(f));
        }
    }
    if (preset.folder.empty() || (!preset.recurse && preset.files.empty())) {
        tell(hwnd(),
             "Drop either files of one folder or one folder alone: the Add Files dialog takes "
             "the files of one folder, or a folder with its sub-folders.",
             platform::kMbIconInformation);
        return;
    }
    addFiles(&preset);
}
