// The Install command: the archive is extracted into the work folder and
// the install monitor is started on its setup program, so the installation
// can be looked at and undone; or the setup program runs by itself when no
// uninstall will be needed.
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_win.h"
#include "app/resource.h"
#include "ops/extract.h"
#include "ops/paths.h"
#include "ui/application.h"
#include "ui/dialog.h"

#include <commctrl.h>

namespace {

// "ZARVO - Select an installer": one of several setup programs.
class ChooseInstallerDlg : public ui::Dialog {
  public:
    ChooseInstallerDlg(HWND parent, const std::vector<std::string>& candidates, std::string* choice)
        : ui::Dialog(parent, "INSTALLER_DLG"), candidates_(candidates), choice_(choice) {}

  protected:
    bool on_init() override {
        HWND list = item(IDC_INSTALLER_LIST);
        for (const std::string& c : candidates_)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.c_str()));
        // A row is always chosen, so OK always has a setup program to run.
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        return true;
    }
    bool on_command(int id, int code) override {
        if (id == IDOK || (id == IDC_INSTALLER_LIST && code == LBN_DBLCLK)) {
            LRESULT at = SendMessageA(item(IDC_INSTALLER_LIST), LB_GETCURSEL, 0, 0);
            if (at == LB_ERR || static_cast<std::size_t>(at) >= candidates_.size()) return true;
            *choice_ = candidates_[static_cast<std::size_t>(at)];
            end(IDOK);
            return true;
        }
        return ui::Dialog::on_command(id, code);
    }

  private:
    const std::vector<std::string>& candidates_;
    std::string* choice_;
};

// "ZARVO - Begin installation": the last word before extracting.
class ZRVSetupDlg : public ui::Dialog {
  public:
    ZRVSetupDlg(HWND parent, int* noUninstallNeeded)
        : ui::Dialog(parent, "SETUP_DLG"), noUninstallNeeded_(noUninstallNeeded) {}

  protected:
    bool on_init() override {
        set_checked(IDC_NO_UNINSTALL, *noUninstallNeeded_ != 0);
        return true;
    }
    bool on_command(int id, int code) override {
        if (id == IDOK) {
            *noUninstallNeeded_ = checked(IDC_NO_UNINSTALL) ? 1 : 0;
            end(IDOK);
            return true;
        }
        if (id == IDC_SETUP_HELP) {
            ui::ShellRequest help;
            help.owner = hwnd();
            help.verb = "open";
            help.file = "WINHELP";
            help.parameters = std::string(" -i install ") + app().programFolder + "\\ZARVO.HLP";
            help.show = SW_SHOW;
            ui::shell_execute(help);
            return true;
        }
        return ui::Dialog::on_command(id, code);
    }

  private:
    int* noUninstallNeeded_;
};

void collectInstallers(HWND list, std::vector<std::string>* candidates) {
    int rows = ListView_GetItemCount(list);
    for (int i = 0; i < rows; ++i) {
        std::string name = listRowName(list, i);
        if (isInstallerName(name.c_str())) candidates->push_back(name);
    }
}

} // namespace

void TAppWin::cmInstall() {
    AppState& a = app();
    unselectAll();
    a.catalog.mark_all(0);
    std::vector<std::string> candidates;
    collectInstallers(list(), &candidates);
    if (candidates.empty()) return;
    std::string choice = candidates[0];
    if (candidates.size() > 1 && ChooseInstallerDlg(hwnd(), candidates, &choice).execute() != IDOK)
        return;
    int noUninstallNeeded = 0;
    if (ZRVSetupDlg(hwnd(), &noUninstallNeeded).execute() != IDOK) return;

    a.catalog.mark_all(1);
    if (extract_files(a.engine, a.catalog, nullptr, a.archivePath, a.settings.workDir, 1, 8) != 0)
        return;

    // The member's name uses "/" between folders; the path a program gets
    // must use backslashes, or the monitor would take the wrong folder as
    // the setup program's own.
    std::string setup = std::string(a.settings.workDir) + choice;
    for (char& c : setup)
        if (c == '/') c = '\\';
    ui::ShellRequest start;
    start.owner = hwnd();
    start.verb = "open";
    start.show = SW_SHOW;
    if (noUninstallNeeded) {
        start.file = setup;
        // In its own folder, where a setup program looks for its files.
        char folder[platform::kMaxPath];
        platform::copy_bounded(folder, sizeof folder, setup.c_str());
        stripFileName(folder);
        start.folder = folder;
        ui::shell_execute(start);
        return;
    }
    ListView_DeleteAllItems(list()); // no row may point at a freed member
    a.catalog.clear();
    start.file = a.settings.installerProgram;
    // Quoted, so a work folder with blanks still arrives as one argument.
    start.parameters = "\"" + setup + "\"";
    ui::shell_execute(start);
    openArchiveView();
}
