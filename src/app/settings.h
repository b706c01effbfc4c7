// zarvo.ini beside the program: the work folder, the viewer, the install
// monitor to start, and whether the progress dialog waits when done.
#pragma once

#include "ui/dialog.h"

// Fills app().settings; creates the file with the defaults when it is missing.
void loadSettings();
// Writes Viewer, Installer and Pause. Work is never written back, so a
// hand-edited value survives.
void saveSettings();
std::string settings_file_path();
std::string default_work_folder();

// "ZARVO - Setup": the viewer, the installer and the pause switch.
class TIniDlg : public ui::Dialog {
  public:
    explicit TIniDlg(HWND parent) : ui::Dialog(parent, "SETINI_DLG") {}

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    int viewerChanges_ = 0;
    int installerChanges_ = 0;
};
