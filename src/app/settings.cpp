#include "app/settings.h"

#include <cstdio>

#include "app/app.h"
#include "app/resource.h"

namespace {

const char kWorkSection[] = "Directores"; // spelt as the files in the field have it
const char kProgramsSection[] = "Programs";
const char kDoneSection[] = "Done";
const char kOptionsSection[] = "Options";

void set(char (&field)[platform::kMaxPath], const std::string& value) {
    platform::copy_bounded(field, sizeof field, value.c_str());
}

std::string temp_below_windows() {
    return platform::windows_directory() + "\\Temp";
}

} // namespace

std::string settings_file_path() {
    return std::string(app().programFolder) + "\\zarvo.ini";
}

std::string default_work_folder() {
    return temp_below_windows() + "\\ZRVMP";
}

void loadSettings() {
    Settings& s = app().settings;
    std::string ini = settings_file_path();
    std::string temp = temp_below_windows();
    if (platform::get_attributes(temp.c_str()) == platform::kInvalidAttributes)
        platform::create_directory(temp.c_str());
    std::string work = default_work_folder();
    std::string installer = std::string(app().programFolder) + "\\KESTRIL.EXE";

    platform::ScopedFile probe(platform::open_write(ini.c_str()));
    bool exists = probe.valid();
    probe.reset();
    if (exists) {
        set(s.workDir, platform::ini_read_string(ini.c_str(), kWorkSection, "Work", work.c_str()));
        set(s.viewerProgram,
            platform::ini_read_string(ini.c_str(), kProgramsSection, "Viewer", "NOTEPAD.EXE"));
        set(s.installerProgram, platform::ini_read_string(ini.c_str(), kProgramsSection,
                                                          "Installer", installer.c_str()));
        s.pauseWhenDone = platform::ini_read_int(ini.c_str(), kDoneSection, "Pause", 1);
        // Read only: a file without the key (every file written before it) means one per core.
        const int threads = platform::ini_read_int(ini.c_str(), kOptionsSection, "Threads", 0);
        s.threads = threads >= 1 && threads <= 64 ? threads : 0;
    } else {
        platform::ini_write_string(ini.c_str(), kWorkSection, "Work", work.c_str());
        platform::ini_write_string(ini.c_str(), kProgramsSection, "Viewer", "NOTEPAD.EXE");
        platform::ini_write_string(ini.c_str(), kProgramsSection, "Installer", installer.c_str());
        platform::ini_write_string(ini.c_str(), kDoneSection, "Pause", "0");
        set(s.workDir, work);
        set(s.viewerProgram, "NOTEPAD.EXE");
        set(s.installerProgram, installer);
        s.pauseWhenDone = 0;
    }
    app().engine.threads = static_cast<std::uint32_t>(s.threads);
}

void saveSettings() {
    const Settings& s = app().settings;
    std::string ini = settings_file_path();
    char pause[16];
    std::snprintf(pause, sizeof pause, "%d", s.pauseWhenDone);
    platform::ini_write_string(ini.c_str(), kProgramsSection, "Viewer", s.viewerProgram);
    platform::ini_write_string(ini.c_str(), kProgramsSection, "Installer", s.installerProgram);
    platform::ini_write_string(ini.c_str(), kDoneSection, "Pause", pause);
}

bool TIniDlg::on_init() {
    const Settings& s = app().settings;
    set_text(IDC_VIEWER, s.viewerProgram);
    set_text(IDC_INSTALLER, s.installerProgram);
    set_checked(IDC_PAUSE, s.pauseWhenDone != 0);
    // Filling the fields is not a change by the user.
    viewerChanges_ = installerChanges_ = 0;
    return true;
}

bool TIniDlg::on_command(int id, int code) {
    if (code == EN_CHANGE) {
        if (id == IDC_VIEWER) ++viewerChanges_;
        if (id == IDC_INSTALLER) ++installerChanges_;
        return true;
    }
    if (id == IDOK) {
        Settings& s = app().settings;
        if (viewerChanges_) set(s.viewerProgram, text(IDC_VIEWER));
        if (installerChanges_) set(s.installerProgram, text(IDC_INSTALLER));
        s.pauseWhenDone = checked(IDC_PAUSE) ? 1 : 0;
        saveSettings();
        end(IDOK);
        return true;
    }
    return ui::Dialog::on_command(id, code);
}
