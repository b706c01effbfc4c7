#include "kestril/run.h"

#include <cstring>
#include <string>

#include "kestril/resource.h"
#include "kestril/results_dlg.h"
#include "monitor/file_changes.h"
#include "monitor/logging.h"
#include "monitor/run_state.h"
#include "monitor/saved_files.h"
#include "ui/application.h"
#include "ui/dialog.h"
#include "ui/drive_list.h"
#include "ui/process.h"

namespace kestril {

using namespace monitor;

char startDir[platform::kMaxPath] = {};
char installerDir[platform::kMaxPath] = {};
char pickedName[platform::kMaxPath] = {};
char installerPath[platform::kMaxPath] = {};
bool guardOnly = false;
ui::WatchedProgram installer;
regkey snapshots[4];

namespace {

// Marks the Copy folder as the monitor's own, so a later run may empty it.
const char kCopyFolderMark[] = "KESTRIL.CPY";

void set(char (&field)[platform::kMaxPath], const std::string& value) {
    platform::copy_bounded(field, sizeof field, value.c_str());
}

std::string lowered(std::string s) {
    if (!s.empty()) platform::lower_case(&s[0]);
    return s;
}

bool same_or_inside(const std::string& inner, const std::string& outer) {
    std::string a = lowered(inner), b = lowered(outer);
    while (b.size() > 3 && b.back() == '\\')
        b.pop_back();
    while (a.size() > 3 && a.back() == '\\')
        a.pop_back();
    if (a.size() < b.size() || a.compare(0, b.size(), b) != 0) return false;
    return a.size() == b.size() || a[b.size()] == '\\' || b.back() == '\\';
}

// Why folder must not be the Copy folder, or "" when it may. The clean-up
// deletes everything in it, so it must hold nothing the monitor did not put
// there.
std::string copyFolderRefusal(const std::string& folder) {
    if (folder.size() <= 3) return "it is a whole drive";
    for (const std::string& place : {platform::windows_directory(), platform::system_directory(),
                                     std::string(programDir), std::string(startDir)})
        if (!place.empty() && same_or_inside(place, folder))
            return "it holds Windows, Kestril or the folder Kestril was started in";
    std::vector<platform::FindData> found;
    if (platform::find_files((folder + "\\*.*").c_str(), &found) && !found.empty()) {
        bool ours = false;
        for (const platform::FindData& f : found)
            if (lowered(f.name) == lowered(kCopyFolderMark)) ours = true;
        if (!ours) return "it holds files Kestril did not put there";
    }
    return std::string();
}

void markCopyFolder(const std::string& folder) {
    std::string mark = folder + "\\" + kCopyFolderMark;
    platform::ScopedFile f(platform::create_file(mark.c_str()));
}

// ---- PickAppDlg ----------------------------------------------------------------

class PickAppDlg : public ui::Dialog {
  public:
    explicit PickAppDlg(HWND parent) : ui::Dialog(parent, "PICKAPP_DLG") {}

  protected:
    bool on_init() override {
        std::string here = platform::current_directory();
        showPath(here);
        set(installerDir, here);
        pickedName[0] = installerPath[0] = '\0';
        ui::fill_drive_list(item(IDC_PICK_DRIVES), here.c_str());
        fill(here);
        fileChosen_ = false;
        return true;
    }

    bool on_command(int id, int code) override {
        switch (id) {
        case IDC_PICK_DRIVES:
            if (code == CBN_SELCHANGE) {
                char entry[8] = {};
                LRESULT at = SendMessageA(item(IDC_PICK_DRIVES), CB_GETCURSEL, 0, 0);
                if (at == CB_ERR) return true;
                SendMessageA(item(IDC_PICK_DRIVES), CB_GETLBTEXT, static_cast<WPARAM>(at),
                             reinterpret_cast<LPARAM>(entry));
                std::string root = std::string(1, entry[2]) + ":\\";
                goTo(root);
            }
            return true;
        case IDC_PICK_FOLDERS:
            if (code == LBN_DBLCLK) openFolder();
            return true;
        case IDC_PICK_FILES:
            if (code == LBN_SELCHANGE) chooseFile();
            return true;
        case IDC_PICK_GUARD_ONLY: {
            BOOL on = checked(IDC_PICK_GUARD_ONLY) ? FALSE : TRUE;
            for (int list : {IDC_PICK_DRIVES, IDC_PICK_FOLDERS, IDC_PICK_FILES})
                EnableWindow(item(list), on);
            return true;
        }
        case IDC_PICK_RUN:
        case IDOK:
            guardOnly = checked(IDC_PICK_GUARD_ONLY);
            end(1);
            return true;
        case IDC_PICK_HELP: {
            ui::ShellRequest help;
            help.owner = hwnd();
            help.verb = "open";
            help.file = "WINHELP";
            help.parameters = std::string(programDir) + "\\Kestril.HLP";
            help.folder = copyDir;
            help.show = SW_SHOW;
            ui::shell_execute(help);
            return true;
        }
        case IDCANCEL:
            end(2);
            return true;
        }
        return false;
    }

  private:
    void showPath(const std::string& path) { set_text(IDC_PICK_PATH, path.c_str()); }
    std::string path() const { return text(IDC_PICK_PATH, platform::kMaxPath + 1); }

    // The path without the file chosen last.
    std::string folderPart() const {
        std::string p = path();
        if (fileChosen_) {
            std::size_t cut = p.rfind('\\');
            if (cut != std::string::npos) p.resize(cut > 0 && p[cut - 1] == ':' ? cut + 1 : cut);
        }
        return p;
    }

    void fill(const std::string& folder) {
        HWND folders = item(IDC_PICK_FOLDERS), files = item(IDC_PICK_FILES);
        SendMessageA(folders, LB_RESETCONTENT, 0, 0);
        SendMessageA(files, LB_RESETCONTENT, 0, 0);
        std::string base = folder;
        if (base.empty() || base.back() != '\\') base += '\\';
        std::vector<platform::FindData> found;
        if (platform::find_files((base + "*.*").c_str(), &found)) {
            if (base.size() > 3)
                SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
            for (const platform::FindData& f : found) {
                if (!(f.attributes & platform::kAttrDirectory)) continue;
                if (lowered(base + f.name) == lowered(copyDir))
                    continue; // the monitor's own scratch folder
                std::string entry = lowered("[" + f.name + "]");
                SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
            }
        }
        found.clear();
        if (platform::find_files((base + "*.exe").c_str(), &found)) {
            for (const platform::FindData& f : found) {
                if (f.attributes & platform::kAttrDirectory) continue;
                std::string name = lowered(f.name);
                SendMessageA(files, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
            }
        }
    }

    void goTo(const std::string& folder) {
        if (folder.size() >= platform::kMaxPath) return;
        showPath(folder);
        set(installerDir, folder);
        pickedName[0] = installerPath[0] = '\0';
        fill(folder);
        fileChosen_ = false;
    }

    void openFolder() {
        HWND list = item(IDC_PICK_FOLDERS);
        LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (at == LB_ERR) return;
        char entry[platform::kMaxPath + 2] = {};
        if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0) >=
            static_cast<LRESULT>(sizeof entry))
            return;
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(entry));
        std::string p = folderPart();
        if (std::strcmp(entry, "[..]") == 0) {
            std::size_t cut = p.rfind('\\');
            if (cut != std::string::npos) p.resize(cut > 0 && p[cut - 1] == ':' ? cut + 1 : cut);
        } else {
            if (p.empty() || p.back() != '\\') p += '\\';
            std::string name = entry;
            p += name.substr(1, name.size() - 2);
        }
        goTo(p);
    }

    void chooseFile() {
        HWND list = item(IDC_PICK_FILES);
        LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (at == LB_ERR) return;
        char name[platform::kMaxPath + 2] = {};
        if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0) >=
            static_cast<LRESULT>(sizeof name))
            return;
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(name));
        std::string p = folderPart();
        if (p.empty() || p.back() != '\\') p += '\\';
        p += name;
        if (p.size() >= platform::kMaxPath) return;
        showPath(p);
        set(installerPath, p);
        set(pickedName, name);
        fileChosen_ = true;
    }

    bool fileChosen_ = false;
};

// ---- ExitDlg and WaitDlg ---------------------------------------------------------

class ExitDlg : public ui::Dialog {
  public:
    explicit ExitDlg(HWND parent) : ui::Dialog(parent, "EXIT_DLG") {}
};

void closeLogFile() {
    if (logFile != platform::kInvalidFile) {
        platform::close_file(logFile);
        logFile = platform::kInvalidFile;
    }
}

class WaitDlg : public ui::Dialog {
  public:
    WaitDlg() : ui::Dialog(nullptr, "WAIT_DLG") {}

  protected:
    bool on_init() override {
        set_checked(IDC_WAIT_VIEW_CHANGES, true);
        return true;
    }

    bool on_command(int id, int code) override {
        if (id == IDCANCEL) return true; // only Ok ends the wait
        if (id != IDOK || code != BN_CLICKED) return false;
        if (installer.running()) {
            platform::message_box({"You must exit the installion first.", "Installer still running",
                                   platform::kMbOk, hwnd()});
            return true;
        }
        stopLogging();
        closeLogFile();
        if (!checked(IDC_WAIT_VIEW_CHANGES)) {
            end(2);
            return true;
        }
        set_text(IDC_WAIT_STATUS, "Scanning file changes");
        readLog();
        for (int i = 0; i < 4 && runError == 0; ++i) {
            set_text(IDC_WAIT_STATUS, kRunSnapshots[i].status);
            compareSnapshot(snapshots[i]);
        }
        if (runError == 0) runError = indexRegChanges();
        end(1);
        return true;
    }

    INT_PTR on_message(UINT msg, WPARAM, LPARAM) override {
        if (msg != WM_QUERYENDSESSION) return FALSE;
        bool allow = ExitDlg(hwnd()).execute() == IDOK;
        if (allow) {
            stopLogging();
            closeLogFile();
        }
        SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, allow ? TRUE : FALSE);
        return TRUE;
    }
};

const char* runErrorText(int code) {
    switch (code) {
    case 1:
        return "Out of memory";
    case 2:
        return "Can't create log file";
    case 3:
        return "Can't start VXD";
    case 4:
        return "Can't stop VXD, Reboot system";
    case 9:
        return "Can't create the installer thread";
    case 10:
        return "Unspecified Install Error";
    case 11:
        return "No file was selected";
    default:
        return "Unspecified Install Error";
    }
}

} // namespace

std::string installerCommandLine(const std::string& path) {
    std::string quoted = "\"" + path + "\"";
    std::string lower = lowered(path);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".msi") == 0)
        return "\"" + platform::system_directory() + "\\msiexec.exe\" /i " + quoted;
    return quoted;
}

std::string installerDirOf(const std::string& program) {
    std::size_t cut = program.rfind('\\');
    if (cut == std::string::npos) return program;
    return program.substr(0, cut > 0 && program[cut - 1] == ':' ? cut + 1 : cut);
}

void loadMonitorSettings() {
    std::string ini = std::string(programDir) + "\\Kestril.ini";
    std::string temp = platform::windows_directory() + "\\Temp";
    platform::create_directory(temp.c_str());
    std::string fallback = temp + "\\Copy";
    platform::ScopedFile probe(platform::open_write(ini.c_str()));
    bool exists = probe.valid();
    probe.reset();
    if (exists) {
        set(copyDir, platform::ini_read_string(ini.c_str(), "Paths", "Copy", fallback.c_str()));
    } else {
        platform::ini_write_string(ini.c_str(), "Paths", "Copy", fallback.c_str());
        set(copyDir, fallback);
    }
}

void removeFolderTree(const char* folder) {
    std::string base = platform::with_backslash(folder);
    std::vector<platform::FindData> found;
    if (platform::find_files((base + "*.*").c_str(), &found)) {
        for (const platform::FindData& f : found) {
            std::string path = base + f.name;
            if (f.attributes & platform::kAttrDirectory) {
                removeFolderTree(path.c_str());
                continue;
            }
            if (f.attributes & platform::kAttrReadOnly)
                platform::set_attributes(path.c_str(),
                                         f.attributes & ~std::uint32_t(platform::kAttrReadOnly));
            if (!platform::delete_file(path.c_str()))
                platform::message_box({"Could not remove file " + path, "Warning",
                                       platform::kMbOk | platform::kMbIconExclamation, nullptr});
        }
    }
    platform::remove_directory(folder);
}

void showRunError() {
    platform::message_box({std::string("Error: ") + runErrorText(runError), "Error",
                           platform::kMbOk | platform::kMbIconExclamation, nullptr});
}

int kestril_main(const std::vector<std::string>& args, const char* program_path) {
    ui::NamedMutex instance("OOPSKESTRILRUNNING");
    if (instance.existed_before()) {
        platform::message_box(
            {"Only one instance of Kestril at a time please", "OOPS", platform::kMbOk, nullptr});
        return 0;
    }
    runError = 0;
    guardOnly = false;
    appUninstallTried = false;
    installer.release();
    installerPath[0] = installerDir[0] = pickedName[0] = uninstallCommand[0] = '\0';
    if (!args.empty()) {
        set(installerPath, args[0]);
        set(installerDir, installerDirOf(args[0]));
    }
    set(startDir, platform::current_directory());
    set(programDir, program_path);
    if (char* cut = std::strrchr(programDir, '\\')) *cut = '\0';
    set(logPath, std::string(programDir) + "\\vxdlog");
    loadMonitorSettings();

    int choice = 1;
    if (!installerPath[0]) {
        choice = static_cast<int>(PickAppDlg(nullptr).execute());
        if (choice == 1 && !guardOnly && !pickedName[0]) runError = 11;
    }
    if (choice != 1) return 0;

    // The Copy folder: made, checked to be ours, and current for the run.
    std::string copy = copyDir;
    if (copy.size() >= 2 && copy.back() == '\\' && copy[copy.size() - 2] != ':') copy.pop_back();
    set(copyDir, copy);
    bool copyReady = false;
    std::string why = copyFolderRefusal(copy);
    if (!why.empty()) {
        platform::message_box(
            {"Kestril deletes its Copy folder after every run, so it will not use " + copy + ": " +
                 why + ".\n\nName another folder as [Paths] Copy in Kestril.ini.",
             "Error", platform::kMbOk | platform::kMbIconExclamation, nullptr});
        if (runError == 0) runError = 10;
    } else {
        platform::create_directory(copy.c_str());
        if (runError == 0 && !platform::set_current_directory(copy.c_str())) {
            platform::message_box(
                {"Could not set working directory", "Error", platform::kMbOk, nullptr});
            runError = 10;
        }
        markCopyFolder(copy);
        copyReady = true;
    }

    if (runError == 0) {
        logFile = platform::create_file(logPath);
        if (logFile == platform::kInvalidFile) runError = 2;
        regchanges.clear();
        for (int i = 0; i < 4 && runError == 0; ++i)
            takeSnapshot(snapshots[i], kRunSnapshots[i].root, kRunSnapshots[i].path,
                         kRunSnapshots[i].mode);
        if (runError == 0) saveSystemFiles();
        WaitDlg wait;
        if (runError == 0) runError = startLogging();
        if (runError == 0 && !guardOnly) {
            if (!installer.start(installerCommandLine(installerPath), installerDir)) runError = 9;
        }
        if (runError == 0) {
            INT_PTR r = wait.execute();
            if (runError == 0 && r == 1) resultsLoop();
        }
        if (LoggingState == Running) stopLogging();
        closeLogFile();
        platform::delete_file(logPath);
        installer.release();
    }
    if (runError != 0) showRunError();
    platform::set_current_directory(startDir);
    if (copyReady) removeFolderTree(copyDir);
    dirchanges.clear();
    filechanges.clear();
    savedlist.clear();
    regchanges.clear();
    for (regkey& s : snapshots)
        s = regkey{};
    return 0;
}

} // namespace kestril
