#include "app/app.h"

#include <cstring>

#include "app/settings.h"
#include "ops/paths.h"
#include "ui/application.h"

namespace {

std::unique_ptr<AppState>& state() {
    static std::unique_ptr<AppState> s = std::make_unique<AppState>();
    return s;
}

bool same_path(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string without_backslash(std::string p) {
    while (p.size() > 3 && p.back() == '\\')
        p.pop_back();
    return p;
}

// True when folder is path or one of the folders above it.
bool holds(const std::string& folder, const std::string& path) {
    std::string f = without_backslash(folder), p = without_backslash(path);
    if (p.size() < f.size()) return false;
    if (!same_path(f, p.substr(0, f.size()))) return false;
    return p.size() == f.size() || p[f.size()] == '\\' || f.back() == '\\';
}

bool is_drive_root(const std::string& p) {
    return (p.size() == 2 || (p.size() == 3 && p[2] == '\\')) && p[1] == ':';
}

// Why folder must not become the work folder, or "" when it may. The work
// folder is emptied at every View and at the end, so it must be a folder
// that holds nothing but what this program put there.
std::string refusal_of(const std::string& folder) {
    if (folder.empty() || is_drive_root(folder)) return "it is a whole drive";
    const std::string system_places[] = {
        platform::windows_directory(), platform::system_directory(),
        platform::windows_directory() + "\\Temp", app().programFolder, app().startDirectory};
    for (const std::string& place : system_places)
        if (!place.empty() && holds(folder, place))
            return "it holds Windows, the program or its start folder";
    std::vector<platform::FindData> found;
    if (platform::find_files((folder + "\\*.*").c_str(), &found)) {
        for (const platform::FindData& f : found)
            if (!same_path(f.name, kWorkFolderMark))
                return "it holds files that ZARVO did not put there";
    }
    return std::string();
}

void mark_work_folder(const std::string& folder) {
    std::string mark = folder + "\\" + kWorkFolderMark;
    if (platform::get_attributes(mark.c_str()) != platform::kInvalidAttributes) return;
    platform::ScopedFile f(platform::create_file(mark.c_str()));
    if (!f.valid()) return;
    static const char kText[] = "ZARVO work folder: emptied and removed when ZARVO ends.\r\n";
    std::uint32_t written = 0;
    platform::write_file(f.get(), kText, sizeof kText - 1, &written);
    f.reset();
    platform::set_attributes(mark.c_str(), platform::kAttrHidden);
}

void could_not_set_working_directory() {
    platform::message_box({"Could not set working directory", "Error", platform::kMbOk, nullptr});
}

// Step 7 of start-up: the work folder is made, marked, made current and
// given its trailing backslash. A setting that names a folder we must not
// empty is refused and the default taken instead.
bool prepare_work_folder() {
    AppState& a = app();
    std::string work = a.settings.workDir;
    if (work.size() >= 2 && work.back() == '\\' && work[work.size() - 2] != ':') work.pop_back();
    std::string why = refusal_of(work);
    if (!why.empty()) {
        std::string fallback = default_work_folder();
        std::string text = "ZARVO empties its work folder, so it will not use " + work + ": " +
                           why + ".\n\nThe work folder is " + fallback + " instead.";
        platform::message_box(
            {text, "ZARVO", platform::kMbOk | platform::kMbIconExclamation, nullptr});
        work = fallback;
        if (!refusal_of(work).empty()) {
            could_not_set_working_directory();
            return false;
        }
    }
    platform::create_directory(work.c_str());
    if (!platform::set_current_directory(work.c_str())) {
        could_not_set_working_directory();
        return false;
    }
    mark_work_folder(work);
    work += '\\';
    platform::copy_bounded(a.settings.workDir, sizeof a.settings.workDir, work.c_str());
    // Jobs write their temporary archive here.
    platform::copy_bounded(a.engine.work_folder, sizeof a.engine.work_folder, work.c_str());
    a.workFolderReady = true;
    return true;
}

} // namespace

TAppWin* g_appWin = nullptr;

AppState& app() {
    return *state();
}

void reset_app_state() {
    state() = std::make_unique<AppState>();
}

StartupOutcome start_program(const std::vector<std::string>& args, const char* program_path) {
    AppState& a = app();
    auto instance = std::make_unique<ui::NamedMutex>("OOPSZARVORUNNING");
    if (instance->existed_before()) {
        platform::message_box(
            {"Only one instance of ZARVO at a time please", "OOPS", platform::kMbOk, nullptr});
        return {false, 0};
    }
    a.instance = std::move(instance);
    a.startDirectory = platform::current_directory();

    a.archivePath[0] = a.lastFolder[0] = a.extractFolder[0] = '\0';
    platform::copy_bounded(a.programFolder, sizeof a.programFolder, program_path);
    if (char* slash = std::strrchr(a.programFolder, '\\')) *slash = '\0';

    // Resolved now: the work folder becomes the current one below, and a
    // name typed in the archive's own folder must still find it.
    if (!args.empty() && !args[0].empty() &&
        !full_archive_path(args[0].c_str(), a.archivePath, sizeof a.archivePath))
        archive_path_too_long(args[0], nullptr);
    if (a.archivePath[0]) {
        platform::copy_bounded(a.lastFolder, sizeof a.lastFolder, a.archivePath);
        stripFileName(a.lastFolder);
        platform::copy_bounded(a.extractFolder, sizeof a.extractFolder, a.lastFolder);
    } else {
        platform::copy_bounded(a.lastFolder, sizeof a.lastFolder, a.startDirectory.c_str());
        stripFileName(a.lastFolder);
    }

    loadSettings();
    if (!prepare_work_folder()) return {false, -1};

    platform::copy_bounded(a.includeFilter, sizeof a.includeFilter, "*.*");
    a.excludeFilter[0] = '\0';
    return {true, 0};
}

bool full_archive_path(const char* given, char* out, std::size_t size) {
    std::string full = platform::dos_path_from_host(given);
    bool resolved =
        (full.size() >= 3 && full[1] == ':' && full[2] == '\\') || full.compare(0, 2, "\\\\") == 0;
    // The host may refuse to resolve a path whose full form is long: what it
    // would be decides then.
    if (!resolved) full = platform::with_backslash(platform::current_directory()) + given;
    if (full.size() >= size) return false;
    platform::copy_bounded(out, size, full.c_str());
    return true;
}

void archive_path_too_long(const std::string& given, void* owner) {
    std::string text = "The path of this archive is longer than " +
                       std::to_string(platform::kMaxPath - 1) +
                       " characters, so ZARVO cannot open it:\n\n" + given;
    platform::message_box({text, "ZARVO", platform::kMbOk | platform::kMbIconExclamation, owner});
}

void empty_work_folder() {
    AppState& a = app();
    if (!a.workFolderReady) return;
    deleteFilesBelow(a.settings.workDir);
    mark_work_folder(without_backslash(a.settings.workDir));
}

void end_program() {
    AppState& a = app();
    if (!a.startDirectory.empty()) platform::set_current_directory(a.startDirectory.c_str());
    if (a.workFolderReady) {
        deleteFilesBelow(a.settings.workDir);
        removeEmptyFolders(a.settings.workDir);
        a.workFolderReady = false;
    }
    a.instance.reset();
}
