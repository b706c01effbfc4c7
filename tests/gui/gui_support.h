// A fixture that runs the archive manager's real windows inside the test
// process: a program folder of its own (zarvo.ini lives there), hooks that
// answer message boxes, dialogs, file dialogs, the shell and pop-up menus
// and record what was asked, and helpers that drive the list with the
// messages the user's clicks would send.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "app/app_win.h"
#include "app/progress_dlg.h"
#include "app/zarvo_app.h"
#include "test_support.h"
#include "ui/application.h"
#include "ui/dialog.h"

#include <commctrl.h>

namespace test {

// Paths name the same place: case and a trailing backslash do not count.
bool same_dos_path(std::string a, std::string b);

// Under Wine: the host path of a DOS path, and a host shell command (such
// as "/usr/bin/unzip -t /tmp/a.zip") run to its end with its output
// collected. False where there is no Wine below, or the command did not
// finish within 30 s.
bool host_path_of(const std::string& dos_path, std::string* host_path);
bool run_host_command(const std::string& command, std::string* output);

class ZarvoWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // zarvo.ini in the program folder with these lines (no file when empty).
    void write_ini(const std::string& text);
    // The work folder the tests use unless they say otherwise.
    std::string work_dos() const { return dir.dos("work"); }
    void write_ini_with_work();
    // Start-up and main window; false when start-up ended the program.
    bool start(const std::vector<std::string>& args = {});
    void close_program();

    // The test folder itself, as the program keeps folders: no trailing backslash.
    std::string folder_dos() const {
        std::string p = dir.dos("");
        p.pop_back();
        return p;
    }
    std::string program_path() const { return dir.dos("zarvo.exe"); }
    // Writes an archive into the test folder and returns its DOS path.
    std::string write_zip(const std::string& name, const std::vector<ZipMember>& members,
                          const ZipLayout& layout = {});

    // A test whose start-up failed ends here instead of crashing on nothing.
    TAppWin& win() {
        if (!application) throw std::runtime_error("no main window");
        return *application->window();
    }
    ui::DecoratedFrame& frame() {
        if (!application) throw std::runtime_error("no main window");
        return *application->frame();
    }
    HWND list() { return win().list(); }
    int rows() { return ListView_GetItemCount(list()); }
    std::string cell(int row, int column);
    std::vector<std::string> names();
    void click_column(int column);
    void select_rows(const std::vector<int>& rows);
    std::vector<int> selected_rows();
    void command(int id); // as the menu or an accelerator sends it
    bool button_enabled(int id);
    bool menu_item_enabled(int id);
    void pump();

    TempDir dir;
    StartupOutcome outcome{false, 0};
    std::unique_ptr<Zarvo95App> application;

    // Message boxes: every prompt is recorded; the answer comes from
    // `answer` when set, else OK/Cancel as safe.
    std::vector<platform::Prompt> prompts;
    std::function<int(const platform::Prompt&)> answer;
    // Modal dialogs: every template name is recorded; `on_dialog` acts on
    // the dialog (it must end it), otherwise the dialog is cancelled.
    std::vector<std::string> dialogs;
    std::function<void(ui::Dialog&)> on_dialog;
    // File dialogs, shell requests and pop-up menus.
    std::vector<ui::FileDialogRequest> file_requests;
    std::string file_answer; // empty: Cancel
    std::vector<ui::ShellRequest> shell_requests;
    INT_PTR shell_result = 42;
    std::vector<std::vector<std::pair<std::string, bool>>> popups; // items: text, enabled
    int popup_choice = 0;
    // Progress dialogs: every operation is recorded; `on_progress` may act
    // (e.g. press Cancel). A dialog waiting for "Done" is answered with
    // "Done" unless on_progress says otherwise.
    std::vector<std::string> progress_ops;
    std::function<void(ProgressDlg&, const char*)> on_progress;

  private:
    platform::PromptResponder previous_responder_;
};

} // namespace test
